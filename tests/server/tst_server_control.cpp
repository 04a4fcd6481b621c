#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "eventually.h"
#include "fake_server_view.h"
#include "ftp_test_client.h"
#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "platform/thread.h"
#include "platform/unique_socket.h"
#include "resource_baseline.h"
#include "server/server_control.h"

namespace {

std::string Big5(Text text)
{
    return CTextTable::Big5(text);
}

int CountRows(const CFakeServerView& view, const std::string& message)
{
    return static_cast<int>(std::count_if(view.m_Rows.begin(), view.m_Rows.end(),
                                          [&](const auto& row) { return row.message == message; }));
}

} // namespace

class ServerControl : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<CServerControl> MakeServer();

    CFakeServerView m_View;
    std::shared_ptr<CServerSettings> m_pSettings;
    std::unique_ptr<CServerControl> m_pServer;
};

std::unique_ptr<CServerControl> ServerControl::MakeServer()
{
    return std::make_unique<CServerControl>(&m_View, m_pSettings, 0, "127.0.0.1");
}

void ServerControl::SetUp()
{
    m_View = CFakeServerView();
    m_pSettings = std::make_shared<CServerSettings>();
    m_pServer = MakeServer();
}

void ServerControl::TearDown()
{
    // A test that failed half-way may have left no server.
    if (m_pServer)
        m_pServer->StopServer();
    m_pServer.reset();
}

TEST_F(ServerControl, StartLogsPortWithMainThreadId)
{
    m_pServer->StartServer();
    ASSERT_TRUE(m_pServer->IsRunning());
    ASSERT_TRUE(m_View.m_bRunning);
    ASSERT_EQ(m_View.m_strStatus, CTextTable::Big5(Text::StatusOnline));
    ASSERT_EQ(m_View.m_Rows.size(), size_t(1));
    ASSERT_EQ(m_View.m_Rows[0].message, CTextTable::Format(Text::LogServerStarted, 21));
    ASSERT_EQ(m_View.m_Rows[0].threadId, CThread::CurrentThreadId());
}

TEST_F(ServerControl, RepeatedStartAndStopLogNothing)
{
    m_pServer->StopServer();
    ASSERT_TRUE(m_View.m_Rows.empty());
    m_pServer->StartServer();
    m_pServer->StartServer();
    ASSERT_EQ(m_View.m_Rows.size(), size_t(1));
    m_pServer->StopServer();
    m_pServer->StopServer();
    ASSERT_EQ(m_View.m_Rows.size(), size_t(2));
    ASSERT_EQ(m_View.m_Rows[1].message, CTextTable::Big5(Text::LogServerStopped));
    ASSERT_EQ(m_View.m_strStatus, CTextTable::Big5(Text::StatusOffline));
    ASSERT_TRUE(!m_View.m_bRunning);
}

TEST_F(ServerControl, BusyPortLogsFailureAndStaysStopped)
{
    m_pServer->StartServer();
    const uint16_t port = m_pServer->ListeningPort();
    CFakeServerView otherView;
    CServerControl other(&otherView, m_pSettings, port, "127.0.0.1");
    other.StartServer();
    ASSERT_TRUE(!other.IsRunning());
    ASSERT_TRUE(!otherView.m_bRunning);
    ASSERT_EQ(otherView.m_Rows.size(), size_t(1));
    ASSERT_EQ(otherView.m_Rows[0].message, CTextTable::Format(Text::LogServerPortFailed, 21));
    // After the port is free again, the same object can start.
    m_pServer->StopServer();
    other.StartServer();
    ASSERT_TRUE(other.IsRunning());
    other.StopServer();
}

TEST_F(ServerControl, CaptionFollowsConnectsAndDisconnects)
{
    m_pServer->StartServer();
    auto first = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    auto second = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    ASSERT_TRUE(first && second);
    ASSERT_EQ_EVENTUALLY(m_pServer->Connections(), 2, CTestSocket::kDeadlineMs);
    first->Close();
    ASSERT_EQ_EVENTUALLY(m_pServer->Connections(), 1, CTestSocket::kDeadlineMs);
    ASSERT_EQ(m_View.m_strCaption, CBig5Text::FromUtf8("Tessel FTP Server [連線數：1 ]"));
    auto third = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    ASSERT_TRUE(third);
    ASSERT_EQ_EVENTUALLY(m_pServer->Connections(), 2, CTestSocket::kDeadlineMs);
    ASSERT_EQ(m_View.m_strCaption, CBig5Text::FromUtf8("Tessel FTP Server [連線數： 2 ]"));
    ASSERT_EQ(CountRows(m_View, CTextTable::Format(Text::LogClientConnected, "127.0.0.1")), 3);
    ASSERT_EQ(CountRows(m_View, CTextTable::Format(Text::LogClientDisconnected, "127.0.0.1")), 1);
}

TEST_F(ServerControl, StopEndsIdleSessionsOldestFirst)
{
    m_pServer->StartServer();
    auto first = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    auto second = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    ASSERT_TRUE(first && second);
    ASSERT_EQ_EVENTUALLY(m_pServer->Connections(), 2, CTestSocket::kDeadlineMs);
    std::vector<uint32_t> sessionIds;
    for (const auto& row : m_View.m_Rows) {
        if (row.message == CTextTable::Format(Text::LogClientConnected, "127.0.0.1"))
            sessionIds.push_back(row.threadId);
    }
    ASSERT_EQ(sessionIds.size(), size_t(2));
    const size_t before = m_View.m_Rows.size();
    m_pServer->StopServer();

    std::vector<std::pair<uint32_t, std::string>> stopRows;
    for (size_t i = before; i < m_View.m_Rows.size(); ++i) {
        const auto& row = m_View.m_Rows[i];
        if (row.message == CTextTable::Big5(Text::LogClosingThread) || row.message == CTextTable::Big5(Text::LogThreadClosed)
            || row.message == CTextTable::Big5(Text::LogServerStopped))
            stopRows.emplace_back(row.threadId, row.message);
    }
    const uint32_t mainId = CThread::CurrentThreadId();
    const std::string& closing = CTextTable::Big5(Text::LogClosingThread);
    const std::string& closed = CTextTable::Big5(Text::LogThreadClosed);
    const std::vector<std::pair<uint32_t, std::string>> expected = {
        {sessionIds[0], closing}, {sessionIds[0], closed}, {sessionIds[1], closing}, {sessionIds[1], closed},
        {mainId, CTextTable::Big5(Text::LogServerStopped)}};
    ASSERT_EQ(stopRows, expected);
    ASSERT_TRUE(first->WaitClosed());
    ASSERT_TRUE(second->WaitClosed());
    ASSERT_EQ_EVENTUALLY(m_pServer->Connections(), 0, CTestSocket::kDeadlineMs);
    ASSERT_EQ(m_pServer->Hub().SessionCount(), 0);
}

TEST_F(ServerControl, RefusesClientsAfterStop)
{
    m_pServer->StartServer();
    const uint16_t port = m_pServer->ListeningPort();
    m_pServer->StopServer();
    CFtpTestClient client;
    ASSERT_TRUE(!client.Connect(port));
}

TEST_F(ServerControl, ShowsSessionTextsLiterally)
{
    m_pServer->StartServer();
    auto client = CFtpTestClient::Greeted(m_pServer->ListeningPort());
    ASSERT_TRUE(client);
    ASSERT_EQ(client->Command("SITE %d %s 100%"), Big5(Text::ReplyLoginFirst));
    ASSERT_EQ_EVENTUALLY(CountRows(m_View, "SITE %d %s 100%"), 1, CTestSocket::kDeadlineMs);
}

TEST_F(ServerControl, RestartsRightAfterStopWithClients)
{
    m_pServer->StartServer();
    const uint16_t port = m_pServer->ListeningPort();
    {
        auto client = CFtpTestClient::Greeted(m_pServer->ListeningPort());
        ASSERT_TRUE(client);
        ASSERT_EQ(client->Command("USER anonymous"), Big5(Text::ReplyUserOk));
        m_pServer->StopServer();
        ASSERT_TRUE(client->WaitClosed());
    }
    // The server closed its side first: those connections sit in TIME_WAIT on the port.
    CServerControl again(&m_View, m_pSettings, port, "127.0.0.1");
    again.StartServer();
    ASSERT_TRUE(again.IsRunning());
    CFtpTestClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_EQ(client.ReadLine(), Big5(Text::Greeting));
    again.StopServer();
}

TEST_F(ServerControl, SessionOutlivingStopTouchesNothingFreed)
{
    const CResourceBaseline before;
    m_pServer->SetStopTimeout(0);
    m_pServer->StartServer();
    std::vector<std::unique_ptr<CFtpTestClient>> clients;
    for (int i = 0; i < 5; ++i) {
        clients.push_back(CFtpTestClient::Greeted(m_pServer->ListeningPort()));
        ASSERT_TRUE(clients.back());
    }
    ASSERT_EQ_EVENTUALLY(m_pServer->Connections(), 5, CTestSocket::kDeadlineMs);
    m_pServer->StopServer();
    ASSERT_TRUE(CountRows(m_View, CTextTable::Big5(Text::LogThreadStuck)) >= 1);
    ASSERT_EQ(m_pServer->Hub().SessionCount(), 0);
    // The window goes away while the sessions are still ending: they keep the
    // hub alive and post into nothing, and the last of them frees it.
    const std::weak_ptr<CSessionHub> hub = m_pServer->Hub().shared_from_this();
    m_pServer.reset();
    for (auto& client : clients)
        ASSERT_TRUE(client->WaitClosed());
    ASSERT_EVENTUALLY(hub.expired(), CTestSocket::kDeadlineMs);
    // Their threads end after they let go of the hub; one still ending when
    // the program's loop goes would post its end into a loop that is gone.
    ASSERT_EQ(before.WaitUntilBack(CResourceBaseline::Held::Threads, CTestSocket::kDeadlineMs), std::string());
    m_pServer = MakeServer();
}

TEST_F(ServerControl, BurstOfClientsWaitsInTheQueue)
{
    // Many clients connect while the main thread is busy (here: not taking
    // events). Their connections must wait complete in the kernel's queue: a
    // dropped handshake costs a client a second or more, and one that the
    // kernel completed with a cookie but could not queue is stranded waiting
    // for a greeting that never comes.
    constexpr int kClients = 20;
    m_pServer->StartServer();
    std::vector<CUniqueSocket> handles;
    std::vector<pollfd> clients;
    for (int i = 0; i < kClients; ++i) {
        handles.push_back(CTestSocket::BeginConnect("127.0.0.1", m_pServer->ListeningPort()));
        clients.push_back({handles.back().Get(), POLLOUT, 0});
    }
    const auto countConnected = [&] {
        ::poll(clients.data(), clients.size(), 50);
        return int(std::count_if(clients.begin(), clients.end(),
                                 [](const pollfd& client) { return client.revents == POLLOUT; }));
    };
    const auto start = std::chrono::steady_clock::now();
    int connected = countConnected();
    while (connected < kClients && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500))
        connected = countConnected();
    ASSERT_EQ(connected, kClients);
    ASSERT_EQ_EVENTUALLY(m_pServer->Hub().SessionCount(), kClients, CTestSocket::kDeadlineMs);
}
