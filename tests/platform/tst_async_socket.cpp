#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eventually.h"
#include "platform/async_socket.h"
#include "platform/event_loop.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "platform/unique_socket.h"
#include "test_socket.h"

namespace {

// Records every notification with what was read at that moment.
class CRecorder : public CAsyncSocket {
public:
    std::vector<std::string> m_Events;
    std::string m_Received;
    int m_nConnectError = -1;
    bool m_bReadInHandler = true;
    uint32_t m_nNotifiedOn = 0;

protected:
    void OnReceive(int) override
    {
        m_nNotifiedOn = CThread::CurrentThreadId();
        m_Events.push_back("read");
        if (!m_bReadInHandler)
            return;
        char buffer[2];
        const int received = Receive(buffer, sizeof(buffer));
        if (received > 0)
            m_Received.append(buffer, received);
    }
    void OnSend(int) override { m_Events.push_back("write"); }
    void OnConnect(int nError) override
    {
        m_Events.push_back("connect");
        m_nConnectError = nError;
    }
    void OnClose(int) override { m_Events.push_back("close"); }
};

// The socket under test (ours, handed to it) and its peer, which the test
// writes to and closes.
struct SocketPair {
    SocketHandle ours = kNoSocket;
    SocketHandle theirs = kNoSocket;
    CUniqueSocket theirEnd;
    SocketPair()
    {
        CUniqueSocket ourEnd;
        if (CTestSocket::Pair(ourEnd, theirEnd))
            ours = ourEnd.Release();
        theirs = theirEnd.Get();
    }
    void CloseTheirs()
    {
        theirEnd.Reset();
        theirs = kNoSocket;
    }
};

bool Pump(const std::function<bool()>& done)
{
    return CEventLoop::Current().WaitUntil(done, 2000);
}

int CountOf(const std::vector<std::string>& events, const char* event)
{
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

// Ends a test's thread before its object goes, also when a check fails first.
struct EndOnExit {
    CThread& thread;
    ~EndOnExit()
    {
        thread.PostQuitMessage();
        thread.Join(INT_MAX);
    }
};

// A thread that attaches a handle in InitInstance, as a session does.
class CAttachThread : public CThread {
public:
    explicit CAttachThread(int handle) : m_hHandle(handle) {}
    std::atomic<uint32_t> m_nNotifiedOn{0};

protected:
    bool InitInstance() override
    {
        m_pRecorder = std::make_unique<CRecorder>();
        m_pRecorder->Attach(m_hHandle, FD_READ | FD_CLOSE);
        Poll();
        return true;
    }
    int ExitInstance() override
    {
        Loop().CancelTimer(m_nPollTimerId);
        m_pRecorder.reset();
        return 0;
    }

private:
    void Poll()
    {
        m_nNotifiedOn = m_pRecorder->m_nNotifiedOn;
        m_nPollTimerId = Loop().StartTimer(5, [this] { Poll(); });
    }

    int m_hHandle;
    std::unique_ptr<CRecorder> m_pRecorder;
    int m_nPollTimerId = 0;
};

constexpr int kBlockedBytes = 64 * 1024 * 1024;

// Sends far more than a peer that never reads can take.
class CBlockedSendThread : public CThread {
public:
    explicit CBlockedSendThread(int handle) : m_hHandle(handle) {}
    std::atomic<int> m_nResult{0};
    std::atomic<bool> m_bSending{false};

protected:
    bool InitInstance() override
    {
        CSocket socket;
        socket.Attach(m_hHandle, 0);
        // What the bytes are does not matter, and filling 64 MiB first is slow
        // under a sanitizer.
        const auto block = std::make_unique_for_overwrite<char[]>(kBlockedBytes);
        m_bSending = true;
        m_nResult = socket.Send(block.get(), kBlockedBytes);
        return false;
    }

private:
    int m_hHandle;
};

} // namespace

TEST(AsyncSocket, ReadIsNotNotifiedOutsideMask)
{
    SocketPair pair;
    CRecorder recorder;
    recorder.Attach(pair.ours, FD_CLOSE);
    ::send(pair.theirs, "ab", 2, 0);
    ASSERT_TRUE(!Pump([&] { return CountOf(recorder.m_Events, "read") > 0; }) || false);
    ASSERT_TRUE(CountOf(recorder.m_Events, "read") == 0);
    ASSERT_TRUE(CountOf(recorder.m_Events, "write") == 0);
    recorder.AsyncSelect(FD_READ | FD_CLOSE);
    ASSERT_TRUE(Pump([&] { return recorder.m_Received == "ab"; }));
}

TEST(AsyncSocket, DataBeforeCloseComesBeforeCloseNotification)
{
    SocketPair pair;
    CRecorder recorder;
    recorder.Attach(pair.ours, FD_READ | FD_CLOSE);
    ::send(pair.theirs, "hello", 5, 0);
    pair.CloseTheirs();
    ASSERT_TRUE(Pump([&] { return CountOf(recorder.m_Events, "close") > 0; }));
    ASSERT_EQ(recorder.m_Received, std::string("hello"));
    ASSERT_EQ(recorder.m_Events.back(), std::string("close"));
    ASSERT_EQ(CountOf(recorder.m_Events, "close"), 1);
}

TEST(AsyncSocket, ReadNotificationWaitsForReceive)
{
    SocketPair pair;
    CRecorder recorder;
    recorder.m_bReadInHandler = false;
    recorder.Attach(pair.ours, FD_READ | FD_CLOSE);
    ::send(pair.theirs, "x", 1, 0);
    ASSERT_TRUE(Pump([&] { return CountOf(recorder.m_Events, "read") > 0; }));
    // Without a receive the pending byte is not reported again (no busy loop).
    ASSERT_TRUE(!Pump([&] { return CountOf(recorder.m_Events, "read") > 1; }));
    char byte;
    ASSERT_EQ(recorder.Receive(&byte, 0), 0);
    ASSERT_TRUE(Pump([&] { return CountOf(recorder.m_Events, "read") == 2; }));
}

TEST(AsyncSocket, RefusedConnectIsReportedWithItsError)
{
    // A port nobody listens on: bind one, learn it, close it.
    CAsyncSocket probe;
    ASSERT_TRUE(probe.Create(0, 0, "127.0.0.1"));
    std::string address;
    uint16_t port = 0;
    probe.GetSockName(address, port);
    probe.Close();

    CRecorder recorder;
    ASSERT_TRUE(recorder.Create(0, FD_CONNECT | FD_CLOSE));
    if (recorder.Connect("127.0.0.1", port)) {
        FAIL() << "connect to a closed port succeeded";
    } else if (recorder.GetLastError() == WSAEWOULDBLOCK) {
        ASSERT_TRUE(Pump([&] { return CountOf(recorder.m_Events, "connect") > 0; }));
        ASSERT_EQ(recorder.m_nConnectError, static_cast<int>(WSAECONNREFUSED));
    } else {
        ASSERT_EQ(recorder.GetLastError(), static_cast<int>(WSAECONNREFUSED));
    }
    ASSERT_TRUE(CountOf(recorder.m_Events, "write") == 0);
}

TEST(AsyncSocket, AttachedHandleNotifiesOnItsThread)
{
    SocketPair pair;
    CAttachThread thread(pair.ours);
    thread.ResumeThread();
    const EndOnExit ended{thread};
    ::send(pair.theirs, "q", 1, 0);
    ASSERT_EVENTUALLY(thread.m_nNotifiedOn.load() != 0, 2000);
    ASSERT_EQ(thread.m_nNotifiedOn.load(), thread.ThreadId());
    thread.PostQuitMessage();
    ASSERT_TRUE(thread.Join(2000));
}

TEST(AsyncSocket, BlockedSendGivesUpWhenThreadIsToldToQuit)
{
    SocketPair pair;
    CBlockedSendThread thread(pair.ours);
    thread.ResumeThread();
    const EndOnExit ended{thread};
    ASSERT_EVENTUALLY(thread.m_bSending.load(), 20000);
    ASSERT_TRUE(!thread.Join(200));
    thread.PostQuitMessage();
    ASSERT_TRUE(thread.Join(2000));
    ASSERT_EQ(thread.m_nResult.load(), kSocketError);
}

TEST(AsyncSocket, WaitUntilStopsAtDeadline)
{
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(!CEventLoop::Current().WaitUntil([] { return false; }, 150));
    ASSERT_TRUE(std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(140));
    ASSERT_TRUE(CEventLoop::Current().WaitUntil([] { return true; }, 0));
}
