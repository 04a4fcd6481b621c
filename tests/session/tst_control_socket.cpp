#include <QTest>

#include "ftp_test_client.h"
#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "session/control_socket.h"
#include "session_harness.h"
#include "std_string_to_string.h"

namespace {

QByteArray Big5(Text text)
{
    return QByteArray::fromStdString(CTextTable::Big5(text));
}

using Kind = CFakeSessionHost::Kind;

} // namespace

class TestControlSocket : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void greetsWithExactBytes();
    void connectAndDisconnectCarryTheSameAddress();
    void executesTwoCommandsFromOneRead();
    void waitsForCrLfAcrossReads();
    void ignoresLfOnlyAndEmptyLines();
    void acceptsExactly4096PendingBytes();
    void endsSessionSilentlyPast4096PendingBytes();
    void dropsBytesAfterNul();
    void loginTable_data();
    void loginTable();
    void acceptedNameSurvivesRejectedUser();
    void passAfterLoginStaysLoggedIn();
    void answersSimpleVerbs_data();
    void answersSimpleVerbs();
    void abortsAfterTelnetBytes();
    void portFieldsAreParsed_data();
    void portFieldsAreParsed();
    void restStoresDecimalValue_data();
    void restStoresDecimalValue();
    void refusesRetrWithoutDownloadRight();
    void quitEndsSession();
    void logsEachReplyAfterItsCommand();
    void logsFailedReplyToResetClient();

private:
    std::unique_ptr<CSessionHarness> m_pHarness;
    std::unique_ptr<CFtpTestClient> m_pClient;
};

void TestControlSocket::init()
{
    m_pHarness = std::make_unique<CSessionHarness>();
    m_pClient = std::make_unique<CFtpTestClient>();
    QVERIFY(m_pClient->Connect(m_pHarness->Port()));
}

void TestControlSocket::cleanup()
{
    m_pClient.reset();
    m_pHarness.reset();
}

void TestControlSocket::greetsWithExactBytes()
{
    QCOMPARE(m_pClient->ReadLine(), QByteArray("220 \xC5\x77\xAA\xEF\xA8\xCF\xA5\xCE Vandrel Tessel FTP Server"));
}

void TestControlSocket::connectAndDisconnectCarryTheSameAddress()
{
    m_pClient->ReadLine();
    m_pClient->Close();
    CFakeSessionHost& host = m_pHarness->Host();
    QTRY_COMPARE_WITH_TIMEOUT(host.CountOf(Kind::Disconnected), 1, CTestSocket::kDeadlineMs);
    QCOMPARE(host.UnregisterCount(), 1);
    const auto events = host.Events();
    std::string connected;
    std::string disconnected;
    for (const auto& event : events) {
        if (event.kind == Kind::Connected)
            connected = event.text;
        if (event.kind == Kind::Disconnected)
            disconnected = event.text;
    }
    QCOMPARE(connected, std::string("127.0.0.1"));
    QCOMPARE(disconnected, connected);
    // The greeting goes out before the connected notification.
    QCOMPARE(events.front().kind, Kind::Log);
    QCOMPARE(events.front().text, CTextTable::Big5(Text::Greeting));
}

void TestControlSocket::executesTwoCommandsFromOneRead()
{
    QVERIFY(m_pClient->Login());
    m_pClient->SendRaw("NOOP\r\nSYST\r\n");
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplySyst));
}

void TestControlSocket::waitsForCrLfAcrossReads()
{
    QVERIFY(m_pClient->Login());
    m_pClient->SendRaw("NO");
    QVERIFY(m_pClient->StaysSilent(200));
    m_pClient->SendRaw("OP\r");
    QVERIFY(m_pClient->StaysSilent(200));
    m_pClient->SendRaw("\n");
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
}

void TestControlSocket::ignoresLfOnlyAndEmptyLines()
{
    QVERIFY(m_pClient->Login());
    m_pClient->SendRaw("\r\n\r\n");
    QVERIFY(m_pClient->StaysSilent(200));
    // "NOOP\n" is ordinary text until a CR LF ends the line: the verb then is
    // "NOOP\nNOOP", which nothing matches.
    m_pClient->SendRaw("NOOP\n");
    QVERIFY(m_pClient->StaysSilent(200));
    m_pClient->SendRaw("NOOP\r\n");
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyUnknown));
}

void TestControlSocket::acceptsExactly4096PendingBytes()
{
    QVERIFY(m_pClient->Login());
    // 4000 bytes pending, then 96 more: 4096 in all, still accepted.
    m_pClient->SendRaw("NOOP " + QByteArray(3995, 'x'));
    QVERIFY(m_pClient->StaysSilent(200));
    m_pClient->SendRaw(QByteArray(94, 'y') + "\r\n");
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
    QCOMPARE(m_pHarness->Host().CountOf(Kind::Disconnected), 0);
}

void TestControlSocket::endsSessionSilentlyPast4096PendingBytes()
{
    QVERIFY(m_pClient->Login());
    m_pClient->SendRaw("NOOP " + QByteArray(3995, 'x'));
    QVERIFY(m_pClient->StaysSilent(200));
    m_pClient->SendRaw(QByteArray(95, 'y') + "\r\n");
    QVERIFY(m_pClient->WaitClosed());
    QTRY_COMPARE_WITH_TIMEOUT(m_pHarness->Host().CountOf(Kind::Disconnected), 1, CTestSocket::kDeadlineMs);
    const auto logs = m_pHarness->Host().LogTexts();
    QVERIFY(std::find(logs.begin(), logs.end(), CTextTable::Big5(Text::LogOverflow)) != logs.end());
}

void TestControlSocket::dropsBytesAfterNul()
{
    QVERIFY(m_pClient->Login());
    m_pClient->SendRaw(QByteArray("NOOP\r\n\0SYST\r\n", 13));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
    QVERIFY(m_pClient->StaysSilent(200));
}

void TestControlSocket::loginTable_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArrayList>("replies");
    const QByteArray userOk = Big5(Text::ReplyUserOk);
    const QByteArray userBad = Big5(Text::ReplyUserBad);
    const QByteArray loggedIn = Big5(Text::ReplyLoggedIn);
    const QByteArray first = Big5(Text::ReplyLoginFirst);
    QTest::newRow("lower-case verb and name") << QByteArrayList{"user anonymous", "pass x"} << QByteArrayList{userOk, loggedIn};
    QTest::newRow("name in capitals") << QByteArrayList{"USER ANONYMOUS", "PASS"} << QByteArrayList{userOk, loggedIn};
    QTest::newRow("trailing blank") << QByteArrayList{"USER anonymous "} << QByteArrayList{userBad};
    QTest::newRow("two blanks before name") << QByteArrayList{"USER  anonymous"} << QByteArrayList{userBad};
    QTest::newRow("other name") << QByteArrayList{"USER bob", "PASS x"} << QByteArrayList{userBad, Big5(Text::ReplyPassWithoutUser)};
    QTest::newRow("pass before user") << QByteArrayList{"PASS x"} << QByteArrayList{Big5(Text::ReplyPassWithoutUser)};
    QTest::newRow("empty password") << QByteArrayList{"USER anonymous", "PASS"} << QByteArrayList{userOk, loggedIn};
    QTest::newRow("gate before login")
        << QByteArrayList{"QUIT", "NOOP", "SYST", "FEAT"} << QByteArrayList{first, first, first, first};
    QTest::newRow("user without pass is gated") << QByteArrayList{"USER anonymous", "NOOP"} << QByteArrayList{userOk, first};
}

void TestControlSocket::loginTable()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, replies);
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::Greeting));
    for (int i = 0; i < commands.size(); ++i)
        QCOMPARE(m_pClient->Command(commands[i]), replies[i]);
    // The gate never closes the connection.
    QCOMPARE(m_pClient->Command("NOOP").left(3), replies.last() == Big5(Text::ReplyLoggedIn) ? "200" : "530");
}

void TestControlSocket::acceptedNameSurvivesRejectedUser()
{
    m_pClient->ReadLine();
    QCOMPARE(m_pClient->Command("USER anonymous"), Big5(Text::ReplyUserOk));
    QCOMPARE(m_pClient->Command("USER bob"), Big5(Text::ReplyUserBad));
    QCOMPARE(m_pClient->Command("PASS x"), Big5(Text::ReplyLoggedIn));
}

void TestControlSocket::passAfterLoginStaysLoggedIn()
{
    QVERIFY(m_pClient->Login());
    QCOMPARE(m_pClient->Command("USER bob"), Big5(Text::ReplyUserBad));
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    QCOMPARE(m_pClient->Command("PASS again"), Big5(Text::ReplyLoggedIn));
}

void TestControlSocket::answersSimpleVerbs_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("TYPE A") << QByteArray("TYPE A") << QByteArray::fromStdString(CTextTable::Format(Text::ReplyType, "A"));
    QTest::newRow("type i keeps argument case") << QByteArray("type i") << QByteArray::fromStdString(CTextTable::Format(Text::ReplyType, "i"));
    QTest::newRow("echoed line breaks stay one line") << QByteArray("TYPE a\nb\rc") << QByteArray::fromStdString(CTextTable::Format(Text::ReplyType, "a b c"));
    QTest::newRow("SYST") << QByteArray("SYST") << Big5(Text::ReplySyst);
    QTest::newRow("NOOP") << QByteArray("NOOP") << Big5(Text::ReplyNoop);
    QTest::newRow("noop lower") << QByteArray("noop") << Big5(Text::ReplyNoop);
    QTest::newRow("ABOR without data") << QByteArray("ABOR") << Big5(Text::ReplyAbor);
    QTest::newRow("abor lower") << QByteArray("abor") << Big5(Text::ReplyAbor);
    QTest::newRow("FEAT unknown") << QByteArray("FEAT") << Big5(Text::ReplyUnknown);
    QTest::newRow("leading blank is no verb") << QByteArray(" NOOP") << Big5(Text::ReplyUnknown);
    QTest::newRow("Big5 verb") << QByteArray("\xA4\x61noop") << Big5(Text::ReplyUnknown);
    QTest::newRow("PORT") << QByteArray("PORT 10,0,0,5,4,1") << Big5(Text::ReplyPort);
    QTest::newRow("PORT empty") << QByteArray("PORT") << Big5(Text::ReplyPort);
}

void TestControlSocket::answersSimpleVerbs()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QVERIFY(m_pClient->Login());
    QCOMPARE(m_pClient->Command(command), reply);
}

void TestControlSocket::abortsAfterTelnetBytes()
{
    QVERIFY(m_pClient->Login());
    QCOMPARE(m_pClient->Command("\xFF\xF4\xFF\xF2" "ABOR"), Big5(Text::ReplyAbor));
    QCOMPARE(m_pClient->Command("XABOR"), Big5(Text::ReplyAbor));
}

void TestControlSocket::portFieldsAreParsed_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("six fields") << QByteArray("10,0,0,5,4,1") << QByteArray("10.0.0.5") << 1025;
    QTest::newRow("three fields keep port") << QByteArray("1,2,3") << QByteArray("1.2.3.") << -1;
    QTest::newRow("empty") << QByteArray("") << QByteArray(".") << -1;
    QTest::newRow("empty fields count") << QByteArray("1,,3,4,5,") << QByteArray("1..3.4") << 1280;
    QTest::newRow("extra fields ignored") << QByteArray("127,0,0,1,0,21,9") << QByteArray("127.0.0.1") << 21;
    QTest::newRow("blanks kept in host") << QByteArray(" 1, 2,3,4, 1,x") << QByteArray(" 1. 2.3.4") << 256;
    QTest::newRow("huge numbers do not overflow") << QByteArray("1,2,3,4,99999999999,1") << QByteArray("1.2.3.4")
                                                  << static_cast<int>(static_cast<qint64>(INT_MAX) * 256 + 1);
}

void TestControlSocket::portFieldsAreParsed()
{
    QFETCH(QByteArray, argument);
    QFETCH(QByteArray, host);
    QFETCH(int, port);
    std::string storedHost;
    int storedPort = -1;
    CDataChannel::ApplyPortArgument(argument.toStdString(), storedHost, storedPort);
    QCOMPARE(storedHost, host.toStdString());
    QCOMPARE(storedPort, port);
}

void TestControlSocket::restStoresDecimalValue_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<qlonglong>("value");
    QTest::newRow("100") << QByteArray("100") << 100LL;
    QTest::newRow("no digits") << QByteArray("abc") << 0LL;
    QTest::newRow("empty") << QByteArray() << 0LL;
    QTest::newRow("negative") << QByteArray("-5") << -5LL;
    QTest::newRow("leading blanks and tail") << QByteArray("  42xyz") << 42LL;
    QTest::newRow("5 GiB") << QByteArray("5368709120") << 5368709120LL;
    QTest::newRow("saturates") << QByteArray("99999999999999999999999") << LLONG_MAX;
}

void TestControlSocket::restStoresDecimalValue()
{
    QFETCH(QByteArray, argument);
    QFETCH(qlonglong, value);
    QVERIFY(m_pClient->Login());
    QCOMPARE(m_pClient->Command("REST " + argument), QByteArray::fromStdString(CTextTable::Format(Text::ReplyRest, value)));
}

void TestControlSocket::refusesRetrWithoutDownloadRight()
{
    m_pHarness->Host().SetRight(Right::Download, 0);
    QVERIFY(m_pClient->Login());
    QCOMPARE(m_pClient->Command("RETR x"), Big5(Text::ReplyNoRight));
    QCOMPARE(m_pClient->Command("STOR x"), Big5(Text::ReplyNoRight));
    QCOMPARE(m_pClient->Command("DELE x"), Big5(Text::ReplyNoRight));
}

void TestControlSocket::quitEndsSession()
{
    QVERIFY(m_pClient->Login());
    QCOMPARE(m_pClient->Command("QUIT"), Big5(Text::ReplyBye));
    QVERIFY(m_pClient->WaitClosed());
    QTRY_VERIFY_WITH_TIMEOUT(m_pHarness->AllSessionsEnded(), CTestSocket::kDeadlineMs);
}

void TestControlSocket::logsEachReplyAfterItsCommand()
{
    QVERIFY(m_pClient->Login());
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    QCOMPARE(m_pClient->Command("QUIT"), Big5(Text::ReplyBye));
    QTRY_COMPARE_WITH_TIMEOUT(m_pHarness->Host().CountOf(Kind::Disconnected), 1, CTestSocket::kDeadlineMs);
    const auto logs = m_pHarness->Host().LogTexts();
    const std::vector<std::string> expected = {CTextTable::Big5(Text::Greeting), "USER anonymous",
                                               CTextTable::Big5(Text::ReplyUserOk), "PASS guest",
                                               CTextTable::Big5(Text::ReplyLoggedIn), "NOOP ",
                                               CTextTable::Big5(Text::ReplyNoop), "QUIT ", CTextTable::Big5(Text::ReplyBye)};
    QCOMPARE(logs, expected);
}

void TestControlSocket::logsFailedReplyToResetClient()
{
    QVERIFY(m_pClient->Login());
    // Far more commands than the session can answer before the reset lands.
    QByteArray flood;
    for (int i = 0; i < 20000; ++i)
        flood += "NOOP\r\n";
    m_pClient->SendRaw(flood);
    m_pClient->Reset();
    QTRY_COMPARE_WITH_TIMEOUT(m_pHarness->Host().CountOf(Kind::Disconnected), 1, CTestSocket::kDeadlineMs);
    // Once, however many commands were still buffered: the first failed reply ends the session.
    const auto logs = m_pHarness->Host().LogTexts();
    QCOMPARE(std::count(logs.begin(), logs.end(), CTextTable::Big5(Text::LogReplyFailed)), 1);
}

QTEST_GUILESS_MAIN(TestControlSocket)
#include "tst_control_socket.moc"
