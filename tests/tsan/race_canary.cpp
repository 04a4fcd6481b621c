// A deliberate data race between a task run on one of our threads and the
// main thread. It exists to be caught: its tests pass only when the race
// detector reports it with the canary's handler on the stack, which shows
// that the detector sees our threads, their posted messages and their
// timers, and that the window programs' suppressions do not hide them.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/thread.h"

// Outside an anonymous namespace, so that reports name its class.
// Lives on the canary thread. The count is written there and, with nothing
// to order the two, on the main thread.
class CRaceCanary {
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
class CCanaryThread : public CThread {
public:
    CCanaryThread(CRaceCanary* pCanary, bool bTimer) : m_pCanary(pCanary), m_bTimer(bTimer) {}

protected:
    bool InitInstance() override
    {
        if (m_bTimer)
            m_nTimerId = Loop().StartTimer(1, [this] {
                m_nTimerId = 0;
                m_pCanary->OnTimer();
            });
        return true;
    }
    int ExitInstance() override
    {
        if (m_nTimerId != 0)
            Loop().CancelTimer(m_nTimerId);
        return 0;
    }

private:
    CRaceCanary* m_pCanary;
    bool m_bTimer;
    int m_nTimerId = 0;
};

int main(int argc, char* argv[])
{
    const bool bTimer = argc > 1 && std::strcmp(argv[1], "timer") == 0;
    CRaceCanary canary;
    CCanaryThread thread(&canary, bTimer);
    thread.ResumeThread();
    if (!bTimer)
        thread.PostThreadMessage([&canary] { canary.OnPosted(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!canary.m_bTouched.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    const bool bTouched = canary.m_bTouched.load(std::memory_order_relaxed);
    ++canary.m_nCount;
    thread.PostQuitMessage();
    thread.Join(30000);
    if (!bTouched)
        std::fprintf(stderr, "the canary thread never ran its %s\n", bTimer ? "timer" : "message");
    return bTouched ? 0 : 1;
}
