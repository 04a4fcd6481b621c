#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "platform/unique_socket.h"

class CEventPoller;

// The event loop of one thread: the tasks other threads post to it, its
// one-shot timers, and the readiness of the sockets that live on it. It runs
// everything on its own thread, one thing at a time. Any thread may post;
// everything else is called on the loop's own thread. A loop belongs to the
// thread that constructs it, which it serves until it is destroyed (a thread
// has at most one).
class CEventLoop {
public:
    using Task = std::function<void()>;
    // What a watched descriptor is ready for, one notification at a time.
    enum class Readiness { Readable, Writable };
    using ReadyHandler = std::function<void(Readiness readiness)>;

    CEventLoop();
    ~CEventLoop();
    CEventLoop(const CEventLoop&) = delete;
    CEventLoop& operator=(const CEventLoop&) = delete;

    // The calling thread's loop; the thread must have one.
    static CEventLoop& Current();
    bool IsCurrent() const;

    // Any thread: queues the task to run on this thread after what was posted
    // before it; false, and the task is dropped, once the loop is closed.
    bool Post(Task task);
    // Own thread, at its end: refuses every later post, drops the tasks not
    // yet taken (no post then reaches a thread whose loop is going away) and
    // gives its descriptors back; nothing is watched or timed any more.
    void Close();

    // Runs until Quit.
    void Run();
    // Run returns once the task or handler running now returns; nested waits give up.
    void Quit();
    // Any thread: every wait of this thread gives up from now on (a stop
    // request overtakes the tasks queued before its own).
    void RequestInterruption();
    bool IsInterruptionRequested() const;

    // Runs what is ready now; never blocks.
    void RunPending();
    // Runs the thread's events until done() holds (true), the time is up,
    // or the thread is told to quit (false). done() is tested before the
    // first wait, so a condition that already holds returns at once. Tasks
    // and handlers run inside the caller's, as they come.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
    // Called each round of a wait: lets the window paint while the main
    // thread waits (rounds are then short enough for it).
    void SetWaitHook(Task hook);

    // A task that runs once, timeoutMs from now, unless cancelled first.
    int StartTimer(int timeoutMs, Task task);
    void CancelTimer(int timerId);

    // Socket readiness, level-triggered, only for the directions asked for.
    // The id stays unique for the loop's life: an event for a registration
    // that was stopped (its descriptor closed, perhaps reused since) is
    // never delivered to a later one.
    std::uint64_t Watch(SocketHandle hSocket, bool bRead, bool bWrite, ReadyHandler handler);
    void SetInterest(std::uint64_t watchId, bool bRead, bool bWrite);
    void Unwatch(std::uint64_t watchId);

    // What the window's own loop watches to learn that this one has work:
    // readable while anything is ready here. -1 on Windows, where the loop is
    // a window of the thread that any message loop of it dispatches to.
    int Descriptor();

    // An object's residence on its loop: a serial number that posts meant
    // for the object carry, which the loop forgets when the object goes. A
    // task posted through it runs only if its object is still there.
    class CResident {
    public:
        CResident();
        ~CResident();
        CResident(const CResident&) = delete;
        CResident& operator=(const CResident&) = delete;

        // Any thread.
        bool Post(Task task) const;
        CEventLoop& Loop() const { return *m_pLoop; }
        void AssertOwnThread() const;

    private:
        CEventLoop* m_pLoop;
        std::uint64_t m_nSerial;
    };

private:
    using Clock = std::chrono::steady_clock;
    class CDriving;
    struct Timer {
        Clock::time_point deadline;
        Task task;
    };

    void AssertOwnThread() const;
    void RunRound(int timeoutMs);
    bool HasPosted();
    void RunPosted();
    void RunDueTimers();
    void ArmEarliestTimer();
    std::uint64_t Enrol();
    void Forget(std::uint64_t serial);

    std::unique_ptr<CEventPoller> m_pPoller;

    std::mutex m_QueueLock;
    std::deque<Task> m_Tasks;
    bool m_bClosed = false;
    // The poller's wake-up is written and not yet taken back.
    bool m_bWoken = false;
    // How many Runs and WaitUntils of the own thread are going round.
    int m_nDriving = 0;

    bool m_bQuit = false;
    std::atomic<bool> m_bInterrupted{false};
    Task m_WaitHook;

    int m_nLastTimerId = 0;
    std::unordered_map<int, Timer> m_Timers;
    std::multimap<Clock::time_point, int> m_TimerOrder;

    std::uint64_t m_nLastSerial = 0;
    std::unordered_set<std::uint64_t> m_Residents;
};
