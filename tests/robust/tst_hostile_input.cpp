#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>

#include "escape_tree.h"
#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "process_resources.h"
#include "resource_baseline.h"
#include "running_server.h"
#include "server/listen_socket.h"
#include "transfer_fixture.h"

namespace {

constexpr int kLineLimit = 4096;
constexpr int kFloodConnections = 300;

QByteArray Big5(Text text)
{
    return QByteArray::fromStdString(CTextTable::Big5(text));
}

bool HasConnectionWaiting(int listener, int timeoutMs)
{
    pollfd waiting = {listener, POLLIN, 0};
    return ::poll(&waiting, 1, timeoutMs) > 0;
}

int PassivePort(const QByteArray& reply)
{
    static const QRegularExpression fields(R"(\(\d+,\d+,\d+,\d+,(\d+),(\d+)\))");
    const QRegularExpressionMatch match = fields.match(QString::fromLatin1(reply));
    return match.hasMatch() ? match.captured(1).toInt() * 256 + match.captured(2).toInt() : -1;
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void linesAroundTheLengthLimit_data();
    void linesAroundTheLengthLimit();
    void oddBytesInCommands_data();
    void oddBytesInCommands();
    void pathTricksStayInsideTheRoot_data();
    void pathTricksStayInsideTheRoot();
    void namesWithBackslashTrailBytesWork();
    void portBounceIsRefused_data();
    void portBounceIsRefused();
    void passivePortCannotBeStolen();
    void floodOfSilentConnections();
    void floodExhaustingDescriptors();

private:
    std::unique_ptr<CEscapeTree> m_pTree;
    std::unique_ptr<CRunningServer> m_pServer;
    std::unique_ptr<CFtpTestClient> m_pClient;
    std::unique_ptr<CResourceBaseline> m_pIdle;
    std::unique_ptr<CResourceBaseline> m_pBaseline;
    QByteArray m_strOutsideBefore;
};

void TestHostileInput::initTestCase()
{
    m_pIdle = std::make_unique<CResourceBaseline>();
}

void TestHostileInput::init()
{
    QVERIFY(CProcessResources::RaiseFileLimit(4L * kFloodConnections + 1024));
    // The root and, beside it, what no client may reach: a sibling whose name
    // begins with the root's, a file next to the root, links leading out.
    m_pTree = std::make_unique<CEscapeTree>();
    QCOMPARE(m_pTree->Unmade(), QByteArray());

    m_pServer = std::make_unique<CRunningServer>();
    m_pServer->SetHome(m_pTree->Home());
    QVERIFY(m_pServer->ServesFreshClient());
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    QCOMPARE(m_pIdle->WaitUntilBack(CResourceBaseline::Held::Threads, CTestSocket::kDeadlineMs), QByteArray());
    m_pBaseline = std::make_unique<CResourceBaseline>();
    m_strOutsideBefore = m_pTree->OutsideFingerprint();
    m_pClient = m_pServer->NewClient();
    QVERIFY(m_pClient);
}

void TestHostileInput::cleanup()
{
    // During each attack another client is still served, nothing outside the
    // root has changed, and afterwards nothing is left behind.
    QVERIFY(m_pServer->ServesFreshClient());
    QCOMPARE(m_pTree->OutsideFingerprint(), m_strOutsideBefore);
    m_pClient.reset();
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    QCOMPARE(m_pBaseline->WaitUntilBack(CResourceBaseline::Held::ThreadsAndFiles, CTestSocket::kDeadlineMs), QByteArray());
    m_pServer.reset();
    m_pTree.reset();
}

void TestHostileInput::linesAroundTheLengthLimit_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("bEnded");
    for (int length = kLineLimit - 2; length <= kLineLimit + 2; ++length) {
        for (bool bEnded : {true, false}) {
            const QByteArray name = QByteArray::number(length) + (bEnded ? " bytes and CR LF" : " bytes, no CR LF");
            QTest::newRow(name.constData()) << length << bEnded;
        }
    }
}

void TestHostileInput::linesAroundTheLengthLimit()
{
    QFETCH(int, length);
    QFETCH(bool, bEnded);
    const QByteArray line = "NOOP " + QByteArray(length - 5, 'a');
    const auto overflows = [&] {
        return std::count_if(m_pServer->View().m_Rows.begin(), m_pServer->View().m_Rows.end(),
                             [](const auto& row) { return row.message == CTextTable::Big5(Text::LogOverflow); });
    };
    QVERIFY(m_pClient->SendRaw(bEnded ? line + "\r\n" : line));
    if (!bEnded && length <= kLineLimit) {
        // Pending and unanswered until its end arrives.
        QVERIFY(m_pClient->StaysSilent());
        QVERIFY(m_pServer->ServesFreshClient());
        QVERIFY(m_pClient->SendRaw("\r\n"));
    }
    const int total = length + 2;
    if (total <= kLineLimit) {
        QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
        QCOMPARE(overflows(), 0);
        return;
    }
    // Too long: no reply, the session ends and says why.
    QVERIFY(m_pClient->WaitClosed());
    QCOMPARE(m_pClient->ReadLine(0), QByteArray());
    QTRY_COMPARE_WITH_TIMEOUT(overflows(), 1, CTestSocket::kDeadlineMs);
}

void TestHostileInput::oddBytesInCommands_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("urgent");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray noop = Big5(Text::ReplyNoop);
    const QByteArray unknown = Big5(Text::ReplyUnknown);
    // A NUL cuts what one read contributes, so the rest of the line is lost.
    QTest::newRow("NUL inside a line") << QByteArray("NOOP\0junk\r\n", 11) << QByteArray() << QByteArray();
    QTest::newRow("NUL alone") << QByteArray("\0\r\n", 3) << QByteArray() << QByteArray();
    QTest::newRow("Telnet interrupt before ABOR")
        << QByteArray("\xff\xf4\xff\xf2" "ABOR\r\n") << QByteArray() << Big5(Text::ReplyAbor);
    QTest::newRow("Telnet synch sent urgent, then ABOR")
        << QByteArray("ABOR\r\n") << QByteArray("\xff\xf4\xff\xf2") << Big5(Text::ReplyAbor);
    QTest::newRow("Telnet bytes before another verb") << QByteArray("\xff\xf4NOOP\r\n") << QByteArray() << unknown;
    QTest::newRow("Telnet bytes alone") << QByteArray("\xff\xff\xff\xfb\x01\r\n") << QByteArray() << unknown;
    QTest::newRow("invalid code page 950 verb") << QByteArray("\x81\x30\x80\r\n") << QByteArray() << unknown;
    QTest::newRow("lone CR and LF inside a line") << QByteArray("NO\rOP\n\r\n") << QByteArray() << unknown;
    QTest::newRow("invalid code page 950 in CWD")
        << QByteArray("CWD \x80\xff\r\n") << QByteArray() << Big5(Text::ReplyDirMissing);
    QTest::newRow("lead byte without trail in RETR")
        << QByteArray("RETR \xa4\r\n") << QByteArray() << Big5(Text::ReplyFileMissing);
    QTest::newRow("invalid code page 950 in STOR")
        << QByteArray("STOR \x81\x30\r\n") << QByteArray() << Big5(Text::ReplyDenied);
    QTest::newRow("invalid code page 950 in MKD")
        << QByteArray("MKD \xfe\x7f\r\n") << QByteArray() << Big5(Text::ReplyDenied);
    QTest::newRow("name longer than the file system allows")
        << "MKD " + QByteArray(300, 'n') + "\r\n" << QByteArray() << Big5(Text::ReplyMkdFailed);
    QTest::newRow("deep path near the limit")
        << "CWD " + QByteArray("a/").repeated(2000) + "\r\n" << QByteArray() << Big5(Text::ReplyDirMissing);
    QTest::newRow("a thousand lines in one burst")
        << QByteArray("NOOP\r\n").repeated(1000) << QByteArray() << QByteArray("1000 x ") + noop;
}

void TestHostileInput::oddBytesInCommands()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, urgent);
    QFETCH(QByteArray, reply);
    if (!urgent.isEmpty()) {
        QVERIFY(m_pClient->SendRaw(urgent.left(urgent.size() - 1)));
        QCOMPARE(::send(m_pClient->Handle(), urgent.constData() + urgent.size() - 1, 1, MSG_OOB), ssize_t(1));
    }
    QVERIFY(m_pClient->SendRaw(bytes));
    if (reply.isEmpty()) {
        // Nothing complete arrived; a line end now runs what did.
        QVERIFY(m_pClient->StaysSilent());
        if (bytes.startsWith("NOOP")) {
            QCOMPARE(m_pClient->Command(""), Big5(Text::ReplyNoop));
        } else {
            QVERIFY(m_pClient->SendLine(""));
            QVERIFY(m_pClient->StaysSilent());
        }
    } else if (reply.startsWith("1000 x ")) {
        for (int i = 0; i < 1000; ++i)
            QCOMPARE(m_pClient->ReadLine(), reply.mid(7));
    } else {
        QCOMPARE(m_pClient->ReadLine(), reply);
    }
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

void TestHostileInput::pathTricksStayInsideTheRoot_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray denied = Big5(Text::ReplyDenied);
    const QByteArray missing = Big5(Text::ReplyFileMissing);
    const QByteArray noRight = Big5(Text::ReplyNoRight);
    const QByteArray trail = QByteArray::fromStdString(CBig5Text::FromUtf8("許"));
    QTest::newRow("RETR parent") << QByteArray("RETR ../outside.txt") << denied;
    QTest::newRow("RETR parent by backslashes") << QByteArray("RETR ..\\outside.txt") << denied;
    QTest::newRow("RETR far above") << QByteArray("RETR ../../../../../../../../etc/passwd") << denied;
    QTest::newRow("RETR above the absolute root") << QByteArray("RETR /../outside.txt") << denied;
    QTest::newRow("RETR sibling sharing the root's name") << QByteArray("RETR /../root2/secret.txt") << denied;
    QTest::newRow("RETR runs of separators") << QByteArray("RETR \\\\..//\\/outside.txt") << denied;
    QTest::newRow("RETR encoded dots") << QByteArray("RETR %2e%2e/outside.txt") << missing;
    QTest::newRow("RETR three dots") << QByteArray("RETR .../outside.txt") << missing;
    QTest::newRow("RETR absolute system path") << QByteArray("RETR /etc/passwd") << missing;
    QTest::newRow("RETR drive letter") << QByteArray("RETR C:\\..\\outside.txt") << missing;
    QTest::newRow("RETR through a link out") << QByteArray("RETR link/outside.txt") << denied;
    QTest::newRow("RETR a link to a file out") << QByteArray("RETR linkfile") << denied;
    QTest::newRow("RETR backslash trail byte before parents")
        << "RETR " + trail + "..\\..\\outside.txt" << missing;
    QTest::newRow("SIZE parent") << QByteArray("SIZE ../outside.txt") << denied;
    QTest::newRow("SIZE a link to a file out") << QByteArray("SIZE linkfile") << denied;
    QTest::newRow("CWD parent") << QByteArray("CWD ..") << denied;
    QTest::newRow("CWD sibling") << QByteArray("CWD ../root2") << denied;
    QTest::newRow("CWD link out") << QByteArray("CWD link") << denied;
    QTest::newRow("CDUP at the root") << QByteArray("CDUP") << denied;
    QTest::newRow("LIST parent") << QByteArray("LIST ..") << noRight;
    QTest::newRow("LIST link out") << QByteArray("LIST -la link") << noRight;
    QTest::newRow("STOR parent") << QByteArray("STOR ../new.txt") << denied;
    QTest::newRow("STOR through a link out") << QByteArray("STOR link/new.txt") << denied;
    QTest::newRow("STOR over a link to a file out") << QByteArray("STOR linkfile") << denied;
    QTest::newRow("STOR through a dangling link") << QByteArray("STOR dangling") << denied;
    QTest::newRow("MKD through a link out") << QByteArray("MKD link/made") << denied;
    QTest::newRow("MKD parent") << QByteArray("MKD ../made") << denied;
    QTest::newRow("DELE parent") << QByteArray("DELE ../outside.txt") << denied;
    QTest::newRow("DELE a link to a file out") << QByteArray("DELE linkfile") << denied;
    QTest::newRow("RMD sibling") << QByteArray("RMD ../root2") << Big5(Text::ReplyRmdDenied);
    QTest::newRow("RNFR parent") << QByteArray("RNFR ../outside.txt") << denied;
    QTest::newRow("RNFR through a link out") << QByteArray("RNFR link/outside.txt") << denied;
}

void TestHostileInput::pathTricksStayInsideTheRoot()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QCOMPARE(m_pClient->Command(command), reply);
    // A rename may not aim outside either, whatever its source.
    QCOMPARE(m_pClient->Command("RNFR inner"), Big5(Text::ReplyRnfrDir));
    QCOMPARE(m_pClient->Command("RNTO ../stolen"), Big5(Text::ReplyDenied));
    QCOMPARE(m_pClient->Command("PWD"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyPwd, "/")));
}

void TestHostileInput::namesWithBackslashTrailBytesWork()
{
    // 許, 功 and 蓋 end with the byte of a backslash in code page 950.
    const QByteArray folder = QByteArray::fromStdString(CBig5Text::FromUtf8("許功蓋"));
    QCOMPARE(m_pClient->Command("CWD " + folder), QByteArray::fromStdString(CTextTable::Format(Text::ReplyCwd, ("/" + folder).constData())));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR " + QByteArray::fromStdString(CBig5Text::FromUtf8("深.txt")));
    QCOMPARE(result.preliminary, Big5(Text::ReplyRetrStart));
    QCOMPARE(result.data, QByteArray("deep inside"));
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
    QCOMPARE(m_pClient->Command("CWD /inner"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyCwd, "/inner")));
}

void TestHostileInput::portBounceIsRefused_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::newRow("another address") << QByteArray("127,0,0,2,P");
    QTest::newRow("a system port") << QByteArray("127,0,0,1,0,21");
    QTest::newRow("port 1023") << QByteArray("127,0,0,1,3,255");
    QTest::newRow("port 65536, which wraps to 0") << QByteArray("127,0,0,1,256,0");
    QTest::newRow("port 65557, which wraps to 21") << QByteArray("127,0,0,1,256,21");
    QTest::newRow("negative port") << QByteArray("127,0,0,1,-1,255");
    QTest::newRow("huge fields") << QByteArray("127,0,0,1,99999999999,99999999999");
    QTest::newRow("address with padded fields") << QByteArray("127,000,0,1,P");
    QTest::newRow("address as one number") << QByteArray("2130706433");
    QTest::newRow("empty") << QByteArray();
}

void TestHostileInput::portBounceIsRefused()
{
    QFETCH(QByteArray, argument);
    // Something listens where the bounce would go, to see that nobody came.
    quint16 port = 0;
    const bool bOther = argument.startsWith("127,0,0,2");
    CUniqueFd listener = CTestSocket::Listen(bOther ? "127.0.0.2" : "127.0.0.1", port);
    QVERIFY(listener.Valid());
    argument.replace("P", QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256));
    QCOMPARE(m_pClient->Command("PORT " + argument), Big5(Text::ReplyPort));
    QCOMPARE(m_pClient->Command("LIST"), Big5(Text::ReplyListStart));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyDataConnectFailed));
    QVERIFY(!HasConnectionWaiting(listener.Get(), 200));
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

void TestHostileInput::passivePortCannotBeStolen()
{
    QVERIFY(QFile::copy(QFile::decodeName(m_pTree->Local("root2/secret.txt")),
                        QFile::decodeName(m_pTree->Local("root/mine.txt"))));
    const QByteArray pasv = m_pClient->Command("PASV");
    const int port = PassivePort(pasv);
    QVERIFY2(port > 0, pasv.constData());
    // Another host is there first: it is sent away with nothing.
    CUniqueFd thief = m_pClient->ConnectFrom("127.0.0.2", static_cast<quint16>(port));
    QVERIFY(thief.Valid());
    QCOMPARE(m_pClient->ReadAll(thief.Get(), 5000), QByteArray());
    thief.Reset();
    QVERIFY(m_pServer->ServesFreshClient());
    // The client itself still gets its file.
    CUniqueFd data = m_pClient->ConnectFrom("127.0.0.1", static_cast<quint16>(port));
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->Command("RETR mine.txt"), Big5(Text::ReplyRetrStart));
    QCOMPARE(m_pClient->ReadAll(data.Get()), QByteArray("secret"));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
    // Once taken, the port is closed to latecomers.
    QVERIFY(!m_pClient->ConnectFrom("127.0.0.2", static_cast<quint16>(port)).Valid());
}

void TestHostileInput::floodOfSilentConnections()
{
    std::vector<CUniqueFd> silent;
    for (int i = 0; i < kFloodConnections; ++i) {
        CUniqueFd handle(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        const sockaddr_in remote = CTestSocket::Address("127.0.0.1", m_pServer->Port());
        ::connect(handle.Get(), reinterpret_cast<const sockaddr*>(&remote), sizeof(remote));
        silent.push_back(std::move(handle));
        QCoreApplication::processEvents();
    }
    // Every one of them gets its session, and they cost the others nothing.
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Server().Connections(), kFloodConnections + 1, 60000);
    QVERIFY(m_pServer->ServesFreshClient());
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    silent.clear();
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Server().Connections(), 1, 20000);
}

void TestHostileInput::floodExhaustingDescriptors()
{
    // The process may hold only a few more descriptors than it has open; the
    // flood's own sockets count against the same limit as the server's.
    rlimit limit = {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_NOFILE, &saved); });
    limit.rlim_cur = static_cast<rlim_t>(CProcessResources::OpenFileCount() + 2 * CListenSocket::kDescriptorReserve);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    std::vector<CUniqueFd> flood;
    for (int i = 0; i < 4 * CListenSocket::kDescriptorReserve; ++i) {
        CUniqueFd handle(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!handle.Valid())
            break;
        const sockaddr_in remote = CTestSocket::Address("127.0.0.1", m_pServer->Port());
        ::connect(handle.Get(), reinterpret_cast<const sockaddr*>(&remote), sizeof(remote));
        flood.push_back(std::move(handle));
        QCoreApplication::processEvents();
    }
    QVERIFY(flood.size() > 10);
    // The session already there goes on, out of descriptors or not.
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    ::setrlimit(RLIMIT_NOFILE, &saved);
    // Every connection of the flood is either greeted or turned away, and the
    // program is still there to say so.
    const auto answered = [&] {
        return std::all_of(flood.begin(), flood.end(), [](const CUniqueFd& handle) { return HasConnectionWaiting(handle.Get(), 0); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(answered(), 10000);
    flood.clear();
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Server().Connections(), 1, 20000);
}

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
