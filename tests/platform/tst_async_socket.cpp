#include <QTest>

#include <atomic>
#include <climits>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/async_socket.h"
#include "platform/event_loop.h"
#include "platform/unique_fd.h"
#include "platform/socket.h"
#include "platform/thread.h"

namespace {

// Records every notification with what was read at that moment.
class CRecorder : public CAsyncSocket {
public:
    QStringList m_Events;
    QByteArray m_Received;
    int m_nConnectError = -1;
    bool m_bReadInHandler = true;
    quint32 m_nNotifiedOn = 0;

protected:
    void OnReceive(int) override
    {
        m_nNotifiedOn = CThread::CurrentThreadId();
        m_Events << "read";
        if (!m_bReadInHandler)
            return;
        char buffer[2];
        const int received = Receive(buffer, sizeof(buffer));
        if (received > 0)
            m_Received.append(buffer, received);
    }
    void OnSend(int) override { m_Events << "write"; }
    void OnConnect(int nError) override
    {
        m_Events << "connect";
        m_nConnectError = nError;
    }
    void OnClose(int) override { m_Events << "close"; }
};

struct SocketPair {
    int ours = -1;
    int theirs = -1;
    CUniqueFd theirEnd;
    SocketPair()
    {
        int handles[2];
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, handles);
        ours = handles[0];
        theirs = handles[1];
        theirEnd.Reset(theirs);
    }
    void CloseTheirs()
    {
        theirEnd.Reset();
        theirs = -1;
    }
};

bool Pump(const std::function<bool()>& done)
{
    return CEventLoop::Current().WaitUntil(done, 2000);
}

// Ends a test's thread before its object goes, also when a check fails first.
auto EndOnExit(CThread& thread)
{
    return qScopeGuard([&thread] {
        thread.PostQuitMessage();
        thread.Join(INT_MAX);
    });
}

// A thread that attaches a handle in InitInstance, as a session does.
class CAttachThread : public CThread {
public:
    explicit CAttachThread(int handle) : m_hHandle(handle) {}
    std::atomic<quint32> m_nNotifiedOn{0};

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
        const QByteArray block(64 * 1024 * 1024, Qt::Uninitialized);
        m_bSending = true;
        m_nResult = socket.Send(block.constData(), static_cast<int>(block.size()));
        return false;
    }

private:
    int m_hHandle;
};

} // namespace

class TestAsyncSocket : public QObject {
    Q_OBJECT
private slots:
    void readIsNotNotifiedOutsideMask();
    void dataBeforeCloseComesBeforeCloseNotification();
    void readNotificationWaitsForReceive();
    void refusedConnectIsReportedWithItsError();
    void attachedHandleNotifiesOnItsThread();
    void blockedSendGivesUpWhenThreadIsToldToQuit();
    void waitUntilStopsAtDeadline();
};

void TestAsyncSocket::readIsNotNotifiedOutsideMask()
{
    SocketPair pair;
    CRecorder recorder;
    recorder.Attach(pair.ours, FD_CLOSE);
    ::send(pair.theirs, "ab", 2, 0);
    QVERIFY(!Pump([&] { return recorder.m_Events.contains("read"); }) || false);
    QVERIFY(!recorder.m_Events.contains("read"));
    QVERIFY(!recorder.m_Events.contains("write"));
    recorder.AsyncSelect(FD_READ | FD_CLOSE);
    QVERIFY(Pump([&] { return recorder.m_Received == "ab"; }));
}

void TestAsyncSocket::dataBeforeCloseComesBeforeCloseNotification()
{
    SocketPair pair;
    CRecorder recorder;
    recorder.Attach(pair.ours, FD_READ | FD_CLOSE);
    ::send(pair.theirs, "hello", 5, 0);
    pair.CloseTheirs();
    QVERIFY(Pump([&] { return recorder.m_Events.contains("close"); }));
    QCOMPARE(recorder.m_Received, QByteArray("hello"));
    QCOMPARE(recorder.m_Events.last(), QStringLiteral("close"));
    QCOMPARE(recorder.m_Events.count("close"), 1);
}

void TestAsyncSocket::readNotificationWaitsForReceive()
{
    SocketPair pair;
    CRecorder recorder;
    recorder.m_bReadInHandler = false;
    recorder.Attach(pair.ours, FD_READ | FD_CLOSE);
    ::send(pair.theirs, "x", 1, 0);
    QVERIFY(Pump([&] { return recorder.m_Events.contains("read"); }));
    // Without a receive the pending byte is not reported again (no busy loop).
    QVERIFY(!Pump([&] { return recorder.m_Events.count("read") > 1; }));
    char byte;
    QCOMPARE(recorder.Receive(&byte, 0), 0);
    QVERIFY(Pump([&] { return recorder.m_Events.count("read") == 2; }));
}

void TestAsyncSocket::refusedConnectIsReportedWithItsError()
{
    // A port nobody listens on: bind one, learn it, close it.
    CAsyncSocket probe;
    QVERIFY(probe.Create(0, 0, "127.0.0.1"));
    std::string address;
    uint16_t port = 0;
    probe.GetSockName(address, port);
    probe.Close();

    CRecorder recorder;
    QVERIFY(recorder.Create(0, FD_CONNECT | FD_CLOSE));
    if (recorder.Connect("127.0.0.1", port)) {
        QFAIL("connect to a closed port succeeded");
    } else if (recorder.GetLastError() == WSAEWOULDBLOCK) {
        QVERIFY(Pump([&] { return recorder.m_Events.contains("connect"); }));
        QCOMPARE(recorder.m_nConnectError, static_cast<int>(WSAECONNREFUSED));
    } else {
        QCOMPARE(recorder.GetLastError(), static_cast<int>(WSAECONNREFUSED));
    }
    QVERIFY(!recorder.m_Events.contains("write"));
}

void TestAsyncSocket::attachedHandleNotifiesOnItsThread()
{
    SocketPair pair;
    CAttachThread thread(pair.ours);
    thread.ResumeThread();
    const auto ended = EndOnExit(thread);
    ::send(pair.theirs, "q", 1, 0);
    QTRY_VERIFY_WITH_TIMEOUT(thread.m_nNotifiedOn.load() != 0, 2000);
    QCOMPARE(thread.m_nNotifiedOn.load(), thread.ThreadId());
    thread.PostQuitMessage();
    QVERIFY(thread.Join(2000));
}

void TestAsyncSocket::blockedSendGivesUpWhenThreadIsToldToQuit()
{
    SocketPair pair;
    CBlockedSendThread thread(pair.ours);
    thread.ResumeThread();
    const auto ended = EndOnExit(thread);
    QTRY_VERIFY_WITH_TIMEOUT(thread.m_bSending.load(), 20000);
    QVERIFY(!thread.Join(200));
    thread.PostQuitMessage();
    QVERIFY(thread.Join(2000));
    QCOMPARE(thread.m_nResult.load(), kSocketError);
}

void TestAsyncSocket::waitUntilStopsAtDeadline()
{
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!CEventLoop::Current().WaitUntil([] { return false; }, 150));
    QVERIFY(clock.elapsed() >= 140);
    QVERIFY(CEventLoop::Current().WaitUntil([] { return true; }, 0));
}

QTEST_GUILESS_MAIN(TestAsyncSocket)
#include "tst_async_socket.moc"
