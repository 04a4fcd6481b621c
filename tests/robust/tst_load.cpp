#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "busy_wait.h"
#include "eventually.h"
#include "platform/text_table.h"
#include "process_resources.h"
#include "resource_baseline.h"
#include "running_server.h"
#include "ftp_test_client.h"

namespace {

// The soak run holds five times as many sessions at once.
int SessionCount()
{
    return std::getenv("TESSEL_SOAK") != nullptr ? 500 : 100;
}

constexpr std::size_t kFileBytes = 96 * 1024;
constexpr int kClientTimeoutMs = 60000;
constexpr int kPhaseDeadlineMs = 180000;

const std::string& Big5(Text text)
{
    return CTextTable::Big5(text);
}

// Bytes that differ from one session to the next and within a file.
std::string Contents(int session, char kind)
{
    std::string bytes(kFileBytes, '\0');
    uint32_t state = 2654435761u * static_cast<uint32_t>(session + 1) + static_cast<uint32_t>(kind);
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string DownloadName(int session)
{
    return "down-" + std::to_string(session) + ".bin";
}

std::string UploadName(int session)
{
    return "up-" + std::to_string(session) + ".bin";
}

// Holds every client after its login until all of them are logged in, so
// that the sessions are truly held at the same time.
class CLoginGate {
public:
    void Arrive()
    {
        std::lock_guard lock(m_Lock);
        ++m_nArrived;
    }
    int Arrived()
    {
        std::lock_guard lock(m_Lock);
        return m_nArrived;
    }
    void Open()
    {
        std::lock_guard lock(m_Lock);
        m_bOpen = true;
        m_Opened.notify_all();
    }
    bool WaitOpen()
    {
        std::unique_lock lock(m_Lock);
        return m_Opened.wait_for(lock, std::chrono::milliseconds(kPhaseDeadlineMs), [this] { return m_bOpen; });
    }

private:
    std::mutex m_Lock;
    std::condition_variable m_Opened;
    int m_nArrived = 0;
    bool m_bOpen = false;
};

// One client's whole visit; the text says which step failed, empty when all
// went right. Odd sessions use active data connections, even ones passive.
class CVisit {
public:
    CVisit(int session, uint16_t port) : m_nSession(session), m_nPort(port) {}

    std::string Run(CLoginGate& gate)
    {
        const bool bLoggedIn = m_Client.Connect(m_nPort) && m_Client.Login();
        gate.Arrive();
        if (!bLoggedIn)
            return "login";
        if (!gate.WaitOpen())
            return "gate";
        const auto [listStart, listing, listEnd] = Transfer("LIST", std::string());
        if (listStart != Big5(Text::ReplyListStart) || listing.find(" " + DownloadName(m_nSession) + "\r\n") == std::string::npos
            || listEnd != Big5(Text::ReplyTransferDone))
            return "list: " + listStart + " / " + listEnd;
        const auto [retrStart, file, retrEnd] = Transfer("RETR " + DownloadName(m_nSession), std::string());
        if (retrStart != Big5(Text::ReplyRetrStart) || file != Contents(m_nSession, 'd')
            || retrEnd != Big5(Text::ReplyTransferDone))
            return "retr: " + retrStart + " / " + retrEnd + " / " + std::to_string(file.size());
        const auto [storStart, unused, storEnd] = Transfer("STOR " + UploadName(m_nSession), Contents(m_nSession, 'u'));
        if (storStart != Big5(Text::ReplyStorStart) || storEnd != Big5(Text::ReplyTransferDone))
            return "stor: " + storStart + " / " + storEnd;
        if (m_Client.Command("QUIT") != Big5(Text::ReplyBye) || !m_Client.WaitClosed())
            return "quit";
        return std::string();
    }

private:
    struct Exchange {
        std::string preliminary;
        std::string data;
        std::string final;
    };

    // The command over a data connection: the bytes are sent when there are
    // any, otherwise whatever arrives is read.
    Exchange Transfer(const std::string& command, const std::string& upload)
    {
        Exchange exchange;
        const bool bActive = m_nSession % 2 == 1;
        CUniqueSocket opened = bActive ? m_Client.OpenActive() : m_Client.OpenPassive();
        if (!opened.Valid())
            return exchange;
        exchange.preliminary = m_Client.Command(command);
        // Passive, the data connection is the one opened; active, it is accepted there.
        CUniqueSocket data = bActive ? m_Client.AcceptData(opened.Get()) : std::move(opened);
        opened.Reset();
        if (data.Valid()) {
            if (upload.empty())
                exchange.data = m_Client.ReadAll(data.Get());
            else
                m_Client.WriteAll(data.Get(), upload);
            // The end of the stream ends an upload before the final reply.
            data.Reset();
        }
        exchange.final = m_Client.ReadLine();
        return exchange;
    }

    int m_nSession;
    uint16_t m_nPort;
    CFtpTestClient m_Client{CFtpTestClient::Wait::Block, kClientTimeoutMs};
};

} // namespace

class Load : public testing::Test {
protected:
    void SetUp() override;
};

void Load::SetUp()
{
    // Each session holds a control and a data connection on both ends.
    ASSERT_TRUE(CProcessResources::RaiseFileLimit(8L * SessionCount() + 1024));
}

TEST_F(Load, ConcurrentSessionsAllSucceedAndGiveEverythingBack)
{
    const int nSessions = SessionCount();
    const CResourceBaseline idle;
    CRunningServer server;
    for (int i = 0; i < nSessions; ++i)
        ASSERT_TRUE(server.WriteFile(DownloadName(i), Contents(i, 'd')));
    // One visit first, so that what the server sets up once is not counted.
    {
        CLoginGate gate;
        gate.Open();
        CVisit warmUp(nSessions, server.Port());
        ASSERT_TRUE(server.WriteFile(DownloadName(nSessions), Contents(nSessions, 'd')));
        std::string result;
        std::atomic<bool> bDone{false};
        std::thread visitor([&] {
            result = warmUp.Run(gate);
            bDone = true;
        });
        ASSERT_EVENTUALLY(bDone && server.Server().Hub().SessionCount() == 0, kPhaseDeadlineMs);
        visitor.join();
        ASSERT_EQ(result, std::string());
    }
    // The warm-up's session thread is gone for good, not only out of the registry.
    ASSERT_EQ(idle.WaitUntilBack(CResourceBaseline::Held::Threads, CTestSocket::kDeadlineMs), std::string());
    const CResourceBaseline baseline;

    CLoginGate gate;
    std::vector<std::string> failures(nSessions);
    std::atomic<int> nFinished{0};
    const auto start = std::chrono::steady_clock::now();
    const auto elapsedMs = [&start] {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    };
    {
        std::vector<std::jthread> visitors;
        // However the test ends, the clients are let through and waited for.
        struct Release {
            CLoginGate& gate;
            ~Release() { gate.Open(); }
        } release{gate};
        for (int i = 0; i < nSessions; ++i) {
            visitors.emplace_back([&, i] {
                CVisit visit(i, server.Port());
                failures[i] = visit.Run(gate);
                ++nFinished;
            });
        }
        ASSERT_TRUE(CBusyWait::Until([&] { return gate.Arrived() == nSessions; }, kPhaseDeadlineMs));
        const bool bAllConnected = CBusyWait::Until([&] { return server.Server().Connections() == nSessions; }, 10000);
        if (!bAllConnected) {
            std::map<std::string, int> kinds;
            for (int i = 0; i < nSessions; ++i)
                ++kinds[failures[i]];
            for (const auto& [kind, count] : kinds)
                std::printf("%s: %d\n", kind.c_str(), count);
            std::printf("connections %d\n", server.Server().Connections());
        }
        ASSERT_TRUE(bAllConnected);
        ASSERT_EQ(server.Server().Hub().SessionCount(), nSessions);
        const long long nLoginMs = elapsedMs();
        gate.Open();
        ASSERT_TRUE(CBusyWait::Until([&] { return nFinished == nSessions; }, kPhaseDeadlineMs));
        std::printf("%d sessions held at once after %lld ms; all visits done after %lld ms\n", nSessions, nLoginMs,
                    elapsedMs());
    }

    for (int i = 0; i < nSessions; ++i) {
        ASSERT_TRUE(failures[i].empty()) << i << ": " << failures[i];
        ASSERT_TRUE(server.ReadFile(UploadName(i)) == Contents(i, 'u')) << i;
    }
    ASSERT_TRUE(server.ServesFreshClient());
    ASSERT_EQ_EVENTUALLY(server.Server().Connections(), 0, 10000);
    ASSERT_EQ(baseline.WaitUntilBack(CResourceBaseline::Held::ThreadsAndFiles, 10000), std::string());
}
