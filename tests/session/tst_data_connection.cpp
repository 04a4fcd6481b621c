#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include "platform/text_table.h"
#include "session/control_socket.h"
#include "transfer_fixture.h"

namespace {

QByteArray Big5(Text text)
{
    return QByteArray::fromStdString(CTextTable::Big5(text));
}

// The port a 227 reply announces, or 0.
quint16 PassivePort(const QByteArray& reply)
{
    static const QRegularExpression fields(R"(\(127,0,0,1,(\d+),(\d+)\)$)");
    const QRegularExpressionMatch match = fields.match(QString::fromLatin1(reply));
    if (!reply.startsWith("227 ") || !match.hasMatch())
        return 0;
    return static_cast<quint16>(match.captured(1).toInt() * 256 + match.captured(2).toInt());
}

QByteArray PortCommand(const char* commaHost, int port)
{
    return QByteArray("PORT ") + commaHost + ',' + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256);
}

} // namespace

class TestDataConnection : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void permittedActiveTargets_data();
    void permittedActiveTargets();
    void pasvAnnouncesTheControlAddress();
    void passiveWaitsForALateConnect();
    void commandsRunWhileWaitingForConnection();
    void passivePortTakesOneConnection();
    void secondPasvDropsTheFirst();
    void pasvThenPortStaysPassive();
    void passivePortTheftIsRefused();
    void passiveWaitEndsAfterFiveSeconds();
    void activeDownloadConnectsToTheClient();
    void activeRefusals_data();
    void activeRefusals();
    void refusedConnectAnswersOnceAndKeepsTheFile();
    void failedTransferResetsRest();
    void sessionEndClosesTheDataConnection();
    void clientClosingAnIdleDataConnectionGetsNoReply_data();
    void clientClosingAnIdleDataConnectionGetsNoReply();
    void lateCloseLeavesANewerPassivePort();
    void lateCloseLeavesANewerPortAndRest();
    void everyPassivePortAcceptsAfterARefusal();

private:
    std::unique_ptr<CTransferFixture> m_pFixture;
    std::unique_ptr<CFtpTestClient> m_pClient;
};

void TestDataConnection::init()
{
    m_pFixture = std::make_unique<CTransferFixture>();
    m_pClient = m_pFixture->NewClient();
    QVERIFY(m_pClient);
    QVERIFY(m_pFixture->WriteFile("digits", "0123456789"));
}

void TestDataConnection::cleanup()
{
    m_pClient.reset();
    m_pFixture.reset();
}

void TestDataConnection::permittedActiveTargets_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("bPermitted");
    QTest::newRow("client, high port") << QByteArray("10.0.0.5") << 1024 << true;
    QTest::newRow("client, top port") << QByteArray("10.0.0.5") << 65535 << true;
    QTest::newRow("client, service port") << QByteArray("10.0.0.5") << 1023 << false;
    QTest::newRow("client, port past 16 bits") << QByteArray("10.0.0.5") << 65536 + 2000 << false;
    QTest::newRow("no PORT") << QByteArray() << -1 << false;
    QTest::newRow("another host") << QByteArray("10.0.0.6") << 2000 << false;
    QTest::newRow("same host, other spelling") << QByteArray("10.0.0.05") << 2000 << false;
    QTest::newRow("partial PORT") << QByteArray("10.0.0.") << 2000 << false;
}

void TestDataConnection::permittedActiveTargets()
{
    QFETCH(QByteArray, host);
    QFETCH(int, port);
    QFETCH(bool, bPermitted);
    QCOMPARE(CDataChannel::IsPermittedDataTarget(host.toStdString(), port, "10.0.0.5"), bPermitted);
    QVERIFY(!CDataChannel::IsPermittedDataTarget(host.toStdString(), port, std::string()));
}

void TestDataConnection::pasvAnnouncesTheControlAddress()
{
    const QByteArray reply = m_pClient->Command("PASV");
    const QByteArray pasv = Big5(Text::ReplyPasv);
    const QByteArray prefix = pasv.left(pasv.indexOf('('));
    QVERIFY2(reply.startsWith(prefix), reply.constData());
    const quint16 port = PassivePort(reply);
    QVERIFY(port != 0);
    CUniqueFd data = m_pClient->ConnectFrom("127.0.0.1", port);
    QVERIFY(data.Valid());
}

void TestDataConnection::passiveWaitsForALateConnect()
{
    const quint16 port = PassivePort(m_pClient->Command("PASV"));
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    QVERIFY(m_pClient->StaysSilent(300));
    CUniqueFd data = m_pClient->ConnectFrom("127.0.0.1", port);
    QCOMPARE(m_pClient->ReadAll(data.Get()), QByteArray("0123456789"));
    data.Reset();
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

void TestDataConnection::commandsRunWhileWaitingForConnection()
{
    const quint16 port = PassivePort(m_pClient->Command("PASV"));
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    CUniqueFd data = m_pClient->ConnectFrom("127.0.0.1", port);
    QCOMPARE(m_pClient->ReadAll(data.Get()), QByteArray("0123456789"));
    data.Reset();
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

void TestDataConnection::passivePortTakesOneConnection()
{
    const quint16 port = PassivePort(m_pClient->Command("PASV"));
    CUniqueFd first = m_pClient->ConnectFrom("127.0.0.1", port);
    QVERIFY(first.Valid());
    // The listener goes once the first connection is taken.
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        return !m_pClient->ConnectFrom("127.0.0.1", port).Valid();
    }(), 2000);
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    QCOMPARE(m_pClient->ReadAll(first.Get()), QByteArray("0123456789"));
    first.Reset();
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

void TestDataConnection::secondPasvDropsTheFirst()
{
    CUniqueFd first = m_pClient->OpenPassive();
    QVERIFY(first.Valid());
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR digits");
    QCOMPARE(result.data, QByteArray("0123456789"));
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
    // The first connection was closed without a byte.
    QCOMPARE(m_pClient->ReadAll(first.Get(), 2000), QByteArray());
    pollfd closed = {first.Get(), POLLIN, 0};
    QCOMPARE(::poll(&closed, 1, 0), 1);
}

void TestDataConnection::pasvThenPortStaysPassive()
{
    CUniqueFd passive = m_pClient->OpenPassive();
    QVERIFY(passive.Valid());
    CUniqueFd listener = m_pClient->OpenActive();
    QVERIFY(listener.Valid());
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    QCOMPARE(m_pClient->ReadAll(passive.Get()), QByteArray("0123456789"));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
    QVERIFY(!m_pClient->AcceptData(listener.Get(), 200).Valid());
}

void TestDataConnection::passivePortTheftIsRefused()
{
    const quint16 port = PassivePort(m_pClient->Command("PASV"));
    // Another host (all of 127/8 is this machine) takes the port first.
    CUniqueFd thief = m_pClient->ConnectFrom("127.0.0.2", port);
    QVERIFY(thief.Valid());
    QCOMPARE(m_pClient->ReadAll(thief.Get(), 2000), QByteArray());
    pollfd closed = {thief.Get(), POLLIN, 0};
    QCOMPARE(::poll(&closed, 1, 0), 1);
    thief.Reset();
    // The port still waits for the client itself.
    CUniqueFd data = m_pClient->ConnectFrom("127.0.0.1", port);
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    QCOMPARE(m_pClient->ReadAll(data.Get()), QByteArray("0123456789"));
    data.Reset();
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

void TestDataConnection::passiveWaitEndsAfterFiveSeconds()
{
    QVERIFY(PassivePort(m_pClient->Command("PASV")) != 0);
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(m_pClient->Command("LIST"), Big5(Text::ReplyListStart));
    QCOMPARE(m_pClient->ReadLine(CDataChannel::kConnectTimeoutMs + CTestSocket::kDeadlineMs), Big5(Text::ReplyDataSocketFailed));
    QVERIFY(elapsed.elapsed() >= CDataChannel::kConnectTimeoutMs - 100);
    QVERIFY(m_pClient->StaysSilent());
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

void TestDataConnection::activeDownloadConnectsToTheClient()
{
    CUniqueFd listener = m_pClient->OpenActive();
    QVERIFY(listener.Valid());
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    CUniqueFd data = m_pClient->AcceptData(listener.Get());
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->ReadAll(data.Get()), QByteArray("0123456789"));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

void TestDataConnection::activeRefusals_data()
{
    QTest::addColumn<QByteArray>("listenHost");
    QTest::addColumn<QByteArray>("port");
    QTest::newRow("bounce to another address") << QByteArray("127.0.0.2") << QByteArray("127,0,0,2");
    QTest::newRow("port below 1024") << QByteArray() << QByteArray("127,0,0,1,0,21");
    QTest::newRow("port past 65535") << QByteArray() << QByteArray("127,0,0,1,256,21");
    QTest::newRow("no PORT") << QByteArray() << QByteArray();
}

void TestDataConnection::activeRefusals()
{
    QFETCH(QByteArray, listenHost);
    QFETCH(QByteArray, port);
    CUniqueFd listener;
    if (!listenHost.isEmpty()) {
        quint16 listenPort = 0;
        listener = CTestSocket::Listen(listenHost.constData(), listenPort);
        QVERIFY(listener.Valid());
        port = PortCommand(port.constData(), listenPort).mid(5);
    }
    if (!port.isEmpty())
        QCOMPARE(m_pClient->Command("PORT " + port), Big5(Text::ReplyPort));
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyDataConnectFailed));
    QVERIFY(m_pClient->StaysSilent());
    if (listener.Valid())
        QVERIFY(!m_pClient->AcceptData(listener.Get(), 200).Valid());
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

void TestDataConnection::refusedConnectAnswersOnceAndKeepsTheFile()
{
    quint16 port = 0;
    // A port that was free a moment ago and has no listener now.
    CTestSocket::Listen("127.0.0.1", port).Reset();
    QCOMPARE(m_pClient->Command(PortCommand("127,0,0,1", port)), Big5(Text::ReplyPort));
    QCOMPARE(m_pClient->Command("STOR digits"), Big5(Text::ReplyStorStart));
    const QByteArray refusal = m_pClient->ReadLine();
    QVERIFY2(refusal == Big5(Text::ReplyDataOpenFailed) || refusal == Big5(Text::ReplyDataConnectFailed),
             refusal.constData());
    QVERIFY(m_pClient->StaysSilent());
    QCOMPARE(m_pFixture->ReadFile("digits"), QByteArray("0123456789"));
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

void TestDataConnection::failedTransferResetsRest()
{
    QVERIFY(m_pClient->Command("REST 4").startsWith("350 "));
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyDataConnectFailed));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR digits");
    QCOMPARE(result.data, QByteArray("0123456789"));
}

void TestDataConnection::sessionEndClosesTheDataConnection()
{
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->Command("QUIT"), Big5(Text::ReplyBye));
    QVERIFY(m_pClient->WaitClosed());
    QCOMPARE(m_pClient->ReadAll(data.Get(), 2000), QByteArray());
    pollfd closed = {data.Get(), POLLIN, 0};
    QCOMPARE(::poll(&closed, 1, 0), 1);
}

void TestDataConnection::clientClosingAnIdleDataConnectionGetsNoReply_data()
{
    // Clients connect to the passive port before they send the command, and
    // close it again when the command is refused. A reply then would answer
    // no command and shift every later reply by one.
    QTest::addColumn<QByteArray>("refused");
    QTest::addColumn<QByteArray>("refusal");
    QTest::newRow("no command") << QByteArray() << QByteArray();
    QTest::newRow("RETR of a missing file") << QByteArray("RETR missing") << Big5(Text::ReplyFileMissing);
    QTest::newRow("LIST of a missing folder") << QByteArray("LIST missing") << Big5(Text::ReplyListMissing);
}

void TestDataConnection::clientClosingAnIdleDataConnectionGetsNoReply()
{
    QFETCH(QByteArray, refused);
    QFETCH(QByteArray, refusal);
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    if (!refused.isEmpty())
        QCOMPARE(m_pClient->Command(refused), refusal);
    data.Reset();
    QVERIFY(m_pClient->StaysSilent());
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR digits");
    QCOMPARE(result.data, QByteArray("0123456789"));
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
}

// A close that ABOR posts is taken only after every command of the same read
// has run, so a PASV in that read comes between the post and its delivery.
// The close is about the older connection and must not touch the new one.
void TestDataConnection::lateCloseLeavesANewerPassivePort()
{
    CUniqueFd older = m_pClient->OpenPassive();
    QVERIFY(older.Valid());
    QVERIFY(m_pClient->SendRaw("ABOR\r\nPASV\r\n"));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyAbor));
    const quint16 port = PassivePort(m_pClient->ReadLine());
    QVERIFY(port != 0);
    CUniqueFd data = m_pClient->ConnectFrom("127.0.0.1", port);
    QVERIFY2(data.Valid(), "the announced passive port refuses");
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    QCOMPARE(m_pClient->ReadAll(data.Get()), QByteArray("0123456789"));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

void TestDataConnection::lateCloseLeavesANewerPortAndRest()
{
    CUniqueFd older = m_pClient->OpenPassive();
    QVERIFY(older.Valid());
    QByteArray portCommand;
    CUniqueFd listener = CFtpTestClient::ListenForActive(portCommand);
    QVERIFY(listener.Valid());
    QVERIFY(m_pClient->SendRaw("ABOR\r\n" + portCommand + "\r\nREST 4\r\n"));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyAbor));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyPort));
    QVERIFY(m_pClient->ReadLine().startsWith("350 "));
    QCOMPARE(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    CUniqueFd data = m_pClient->AcceptData(listener.Get());
    QVERIFY2(data.Valid(), "the PORT address was forgotten");
    QCOMPARE(m_pClient->ReadAll(data.Get()), QByteArray("456789"));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

// What clients that connect before the command do all day: the data
// connection is let go after a refusal and the next PASV follows at once.
void TestDataConnection::everyPassivePortAcceptsAfterARefusal()
{
    for (int round = 0; round < 300; ++round) {
        CUniqueFd data = m_pClient->OpenPassive();
        QVERIFY2(data.Valid(), qPrintable(QString("round %1: the announced passive port refuses").arg(round)));
        QCOMPARE(m_pClient->Command("RETR missing"), Big5(Text::ReplyFileMissing));
        data.Reset();
    }
}

QTEST_GUILESS_MAIN(TestDataConnection)
#include "tst_data_connection.moc"
