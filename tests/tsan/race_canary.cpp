// A deliberate data race between a slot run on one of our threads and the
// main thread. It exists to be caught: its tests pass only when the race
// detector reports it with the slot on the stack, which shows that the
// suppressions still leave our threads, their posted messages and their
// timers in view.

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include "platform/win_thread.h"

// Outside an anonymous namespace, so that reports name its class.
// Lives on the canary thread. The count is written there and, with nothing
// to order the two, on the main thread.
class CRaceCanary : public QObject {
public:
    int m_nCount = 0;
    // Relaxed on both sides: it tells the main thread when to write without
    // ordering anything for the detector.
    std::atomic<bool> m_bTouched{false};

    void OnPosted() { Touch(); }
    void OnTimer() { Touch(); }

private:
    void Touch()
    {
        ++m_nCount;
        m_bTouched.store(true, std::memory_order_relaxed);
    }
};

// Reaches the canary from its own loop: a timer started there, or nothing
// (the main thread then posts to it).
class CCanaryThread : public CWinThread {
public:
    CCanaryThread(CRaceCanary* pCanary, bool bTimer) : m_pCanary(pCanary), m_bTimer(bTimer) {}

protected:
    bool InitInstance() override
    {
        if (m_bTimer) {
            m_pTimer = std::make_unique<QTimer>();
            m_pTimer->setSingleShot(true);
            QObject::connect(m_pTimer.get(), &QTimer::timeout, m_pCanary, &CRaceCanary::OnTimer);
            m_pTimer->start(1);
        }
        return true;
    }
    int ExitInstance() override
    {
        m_pTimer.reset();
        return 0;
    }

private:
    CRaceCanary* m_pCanary;
    bool m_bTimer;
    std::unique_ptr<QTimer> m_pTimer;
};

int main(int argc, char* argv[])
{
    qputenv("QT_NO_THREADED_GLIB", "1");
    QCoreApplication app(argc, argv);
    const bool bTimer = argc > 1 && std::strcmp(argv[1], "timer") == 0;
    CRaceCanary canary;
    CCanaryThread thread(&canary, bTimer);
    canary.moveToThread(&thread);
    thread.ResumeThread();
    if (!bTimer)
        thread.PostThreadMessage([&canary] { canary.OnPosted(); });
    const QDeadlineTimer deadline(30000);
    while (!canary.m_bTouched.load(std::memory_order_relaxed) && !deadline.hasExpired())
        std::this_thread::yield();
    const bool bTouched = canary.m_bTouched.load(std::memory_order_relaxed);
    ++canary.m_nCount;
    thread.PostQuitMessage();
    thread.wait();
    if (!bTouched)
        std::fprintf(stderr, "the canary thread never ran its %s\n", bTimer ? "timer" : "message");
    return bTouched ? 0 : 1;
}
