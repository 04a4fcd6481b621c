#include <QElapsedTimer>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fake_server_view.h"
#include "ftp_test_client.h"
#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "platform/unique_fd.h"
#include "platform/thread.h"
#include "server/server_control.h"
#include "std_string_to_string.h"

namespace {

QByteArray Big5(Text text)
{
    return QByteArray::fromStdString(CTextTable::Big5(text));
}

int CountRows(const CFakeServerView& view, const std::string& message)
{
    return static_cast<int>(std::count_if(view.m_Rows.begin(), view.m_Rows.end(),
                                          [&](const auto& row) { return row.message == message; }));
}

} // namespace

class TestServerControl : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startLogsPortWithMainThreadId();
    void repeatedStartAndStopLogNothing();
    void busyPortLogsFailureAndStaysStopped();
    void captionFollowsConnectsAndDisconnects();
    void stopEndsIdleSessionsOldestFirst();
    void refusesClientsAfterStop();
    void showsSessionTextsLiterally();
    void restartsRightAfterStopWithClients();
    void sessionOutlivingStopTouchesNothingFreed();
    void burstOfClientsWaitsInTheQueue();

private:
    std::unique_ptr<CServerControl> MakeServer();

    CFakeServerView m_View;
    std::shared_ptr<CServerSettings> m_pSettings;
    std::unique_ptr<CServerControl> m_pServer;
};

std::unique_ptr<CServerControl> TestServerControl::MakeServer()
{
    return std::make_unique<CServerControl>(&m_View, m_pSettings, 0, "127.0.0.1");
}

void TestServerControl::init()
{
    m_View = CFakeServerView();
    m_pSettings = std::make_shared<CServerSettings>();
    m_pServer = MakeServer();
}

void TestServerControl::cleanup()
{
    m_pServer->StopServer();
    m_pServer.reset();
}

void TestServerControl::startLogsPortWithMainThreadId()
{
    m_pServer->StartServer();
    QVERIFY(m_pServer->IsRunning());
    QVERIFY(m_View.m_bRunning);
    QCOMPARE(m_View.m_strStatus, CTextTable::Big5(Text::StatusOnline));
    QCOMPARE(m_View.m_Rows.size(), size_t(1));
    QCOMPARE(m_View.m_Rows[0].message, CTextTable::Format(Text::LogServerStarted, 21));
    QCOMPARE(m_View.m_Rows[0].threadId, CThread::CurrentThreadId());
}

void TestServerControl::repeatedStartAndStopLogNothing()
{
    m_pServer->StopServer();
    QVERIFY(m_View.m_Rows.empty());
    m_pServer->StartServer();
    m_pServer->StartServer();
    QCOMPARE(m_View.m_Rows.size(), size_t(1));
    m_pServer->StopServer();
    m_pServer->StopServer();
    QCOMPARE(m_View.m_Rows.size(), size_t(2));
    QCOMPARE(m_View.m_Rows[1].message, CTextTable::Big5(Text::LogServerStopped));
    QCOMPARE(m_View.m_strStatus, CTextTable::Big5(Text::StatusOffline));
    QVERIFY(!m_View.m_bRunning);
}

void TestServerControl::busyPortLogsFailureAndStaysStopped()
{
    m_pServer->StartServer();
    const quint16 port = m_pServer->ListeningPort();
    CFakeServerView otherView;
    CServerControl other(&otherView, m_pSettings, port, "127.0.0.1");
    other.StartServer();
    QVERIFY(!other.IsRunning());
    QVERIFY(!otherView.m_bRunning);
    QCOMPARE(otherView.m_Rows.size(), size_t(1));
    QCOMPARE(otherView.m_Rows[0].message, CTextTable::Format(Text::LogServerPortFailed, 21));
    // After the port is free again, the same object can start.
    m_pServer->StopServer();
    other.StartServer();
    QVERIFY(other.IsRunning());
    other.StopServer();
}

void TestServerControl::captionFollowsConnectsAndDisconnects()
{
    m_pServer->StartServer();
    auto first = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    auto second = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    QVERIFY(first && second);
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Connections(), 2, CTestSocket::kDeadlineMs);
    first->Close();
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Connections(), 1, CTestSocket::kDeadlineMs);
    QCOMPARE(m_View.m_strCaption, CBig5Text::FromUtf8("Tessel FTP Server [連線數：1 ]"));
    auto third = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    QVERIFY(third);
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Connections(), 2, CTestSocket::kDeadlineMs);
    QCOMPARE(m_View.m_strCaption, CBig5Text::FromUtf8("Tessel FTP Server [連線數： 2 ]"));
    QCOMPARE(CountRows(m_View, CTextTable::Format(Text::LogClientConnected, "127.0.0.1")), 3);
    QCOMPARE(CountRows(m_View, CTextTable::Format(Text::LogClientDisconnected, "127.0.0.1")), 1);
}

void TestServerControl::stopEndsIdleSessionsOldestFirst()
{
    m_pServer->StartServer();
    auto first = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    auto second = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    QVERIFY(first && second);
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Connections(), 2, CTestSocket::kDeadlineMs);
    std::vector<quint32> sessionIds;
    for (const auto& row : m_View.m_Rows) {
        if (row.message == CTextTable::Format(Text::LogClientConnected, "127.0.0.1"))
            sessionIds.push_back(row.threadId);
    }
    QCOMPARE(sessionIds.size(), size_t(2));
    const size_t before = m_View.m_Rows.size();
    m_pServer->StopServer();

    std::vector<std::pair<quint32, std::string>> stopRows;
    for (size_t i = before; i < m_View.m_Rows.size(); ++i) {
        const auto& row = m_View.m_Rows[i];
        if (row.message == CTextTable::Big5(Text::LogClosingThread) || row.message == CTextTable::Big5(Text::LogThreadClosed)
            || row.message == CTextTable::Big5(Text::LogServerStopped))
            stopRows.emplace_back(row.threadId, row.message);
    }
    const quint32 mainId = CThread::CurrentThreadId();
    const std::string& closing = CTextTable::Big5(Text::LogClosingThread);
    const std::string& closed = CTextTable::Big5(Text::LogThreadClosed);
    const std::vector<std::pair<quint32, std::string>> expected = {
        {sessionIds[0], closing}, {sessionIds[0], closed}, {sessionIds[1], closing}, {sessionIds[1], closed},
        {mainId, CTextTable::Big5(Text::LogServerStopped)}};
    QCOMPARE(stopRows, expected);
    QVERIFY(first->WaitClosed());
    QVERIFY(second->WaitClosed());
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Connections(), 0, CTestSocket::kDeadlineMs);
    QCOMPARE(m_pServer->Hub().SessionCount(), 0);
}

void TestServerControl::refusesClientsAfterStop()
{
    m_pServer->StartServer();
    const quint16 port = m_pServer->ListeningPort();
    m_pServer->StopServer();
    CFtpTestClient client;
    QVERIFY(!client.Connect(port));
}

void TestServerControl::showsSessionTextsLiterally()
{
    m_pServer->StartServer();
    auto client = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    QVERIFY(client);
    QCOMPARE(client->Command("SITE %d %s 100%"), Big5(Text::ReplyLoginFirst));
    QTRY_COMPARE_WITH_TIMEOUT(CountRows(m_View, "SITE %d %s 100%"), 1, CTestSocket::kDeadlineMs);
}

void TestServerControl::restartsRightAfterStopWithClients()
{
    m_pServer->StartServer();
    const quint16 port = m_pServer->ListeningPort();
    {
        auto client = CFtpTestClient::Greeted(m_pServer->ListeningPort());
        QVERIFY(client);
        QCOMPARE(client->Command("USER anonymous"), Big5(Text::ReplyUserOk));
        m_pServer->StopServer();
        QVERIFY(client->WaitClosed());
    }
    // The server closed its side first: those connections sit in TIME_WAIT on the port.
    CServerControl again(&m_View, m_pSettings, port, "127.0.0.1");
    again.StartServer();
    QVERIFY(again.IsRunning());
    CFtpTestClient client;
    QVERIFY(client.Connect(port));
    QCOMPARE(client.ReadLine(), Big5(Text::Greeting));
    again.StopServer();
}

void TestServerControl::sessionOutlivingStopTouchesNothingFreed()
{
    m_pServer->SetStopTimeout(0);
    m_pServer->StartServer();
    std::vector<std::unique_ptr<CFtpTestClient>> clients;
    for (int i = 0; i < 5; ++i) {
        clients.push_back(CFtpTestClient::Greeted(m_pServer->ListeningPort()));
        QVERIFY(clients.back());
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Connections(), 5, CTestSocket::kDeadlineMs);
    m_pServer->StopServer();
    QVERIFY(CountRows(m_View, CTextTable::Big5(Text::LogThreadStuck)) >= 1);
    QCOMPARE(m_pServer->Hub().SessionCount(), 0);
    // The window goes away while the sessions are still ending: they keep the
    // hub alive and post into nothing, and the last of them frees it.
    const std::weak_ptr<CSessionHub> hub = m_pServer->Hub().shared_from_this();
    m_pServer.reset();
    for (auto& client : clients)
        QVERIFY(client->WaitClosed());
    QTRY_VERIFY_WITH_TIMEOUT(hub.expired(), CTestSocket::kDeadlineMs);
    m_pServer = MakeServer();
}

void TestServerControl::burstOfClientsWaitsInTheQueue()
{
    // Many clients connect while the main thread is busy (here: not taking
    // events). Their connections must wait complete in the kernel's queue: a
    // dropped handshake costs a client a second or more, and one that the
    // kernel completed with a cookie but could not queue is stranded waiting
    // for a greeting that never comes.
    constexpr int kClients = 20;
    m_pServer->StartServer();
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_port = htons(m_pServer->ListeningPort());
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    std::vector<CUniqueFd> handles;
    std::vector<pollfd> clients;
    for (int i = 0; i < kClients; ++i) {
        handles.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(handles.back().Get(), reinterpret_cast<const sockaddr*>(&server), sizeof(server));
        clients.push_back({handles.back().Get(), POLLOUT, 0});
    }
    const auto countConnected = [&] {
        ::poll(clients.data(), clients.size(), 50);
        return int(std::count_if(clients.begin(), clients.end(),
                                 [](const pollfd& client) { return client.revents == POLLOUT; }));
    };
    QElapsedTimer elapsed;
    elapsed.start();
    int connected = countConnected();
    while (connected < kClients && elapsed.elapsed() < 500)
        connected = countConnected();
    QCOMPARE(connected, kClients);
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Hub().SessionCount(), kClients, CTestSocket::kDeadlineMs);
}

QTEST_GUILESS_MAIN(TestServerControl)
#include "tst_server_control.moc"
