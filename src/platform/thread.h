#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/event_loop.h"

// A thread with its own event loop: InitInstance runs first on the new
// thread, then the loop runs until the thread is told to quit, then
// ExitInstance. Other threads talk to it only by posting messages, which run
// later on this thread, in the order posted; once ExitInstance has returned,
// messages are refused. A thread object either is joined and destroyed by
// its owner, or deletes itself on the thread that created it, once the
// thread has told that thread of its end. The system thread is detached: the
// end signal is the join, so a session that ends after the window has gone
// leaves nothing behind to be joined.
class CThread {
public:
    // Whether a thread has ended; it outlives the thread object, so that a
    // waiter can tell a thread that has deleted itself from one still running.
    class CEndSignal {
    public:
        bool HasEnded() const;
        // Blocks up to timeoutMs for the end.
        bool WaitFor(int timeoutMs) const;

    private:
        friend class CThread;
        void Raise();

        mutable std::mutex m_Lock;
        mutable std::condition_variable m_Ended;
        bool m_bEnded = false;
    };

    CThread();
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Before ResumeThread; 0 leaves the system's default.
    void SetStackSize(std::size_t nBytes) { m_nStackBytes = nBytes; }
    // Creating thread, before ResumeThread: once the thread has ended, the
    // object deletes itself there (the creating thread's loop has to run).
    void SetAutoDelete();
    // Lets a thread created "suspended" run; returns once its loop exists and
    // its kernel thread id is known, so the id can be logged from the first moment.
    void ResumeThread();
    std::uint32_t ThreadId() const { return m_nThreadId.load(); }
    // The kernel id of the calling thread, as the log shows it.
    static std::uint32_t CurrentThreadId();
    // Its turn on the processor comes before its siblings', as far as the system lets it.
    void RaisePriority();

    // Any thread: queue a call to run on this thread's loop; false, and the
    // call is dropped, once the thread has ended its loop (or before it ran).
    bool PostThreadMessage(std::function<void()> message);
    // Any thread: end this thread's loop once it takes this message; a wait
    // or a blocked send on the thread gives up as soon as it is posted.
    void PostQuitMessage();
    // Blocks up to timeoutMs for the thread to end. Once true (it ended, or
    // never ran), what it did is ordered before what the caller does next,
    // and the caller may delete it.
    bool Join(int timeoutMs);
    bool IsFinished() const { return m_pEnd->HasEnded(); }
    std::shared_ptr<const CEndSignal> EndSignal() const { return m_pEnd; }

protected:
    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }
    // On the thread itself, between InitInstance and ExitInstance included.
    CEventLoop& Loop() const { return *m_pLoop; }

private:
    // A thread that has told of its end has only its return left.
    static constexpr int kEndJoinTimeoutMs = 5000;

    class CEndNotice {
    public:
        explicit CEndNotice(CThread* pThread) : m_pThread(pThread) {}
        ~CEndNotice();
        CEndNotice(const CEndNotice&) = delete;
        CEndNotice& operator=(const CEndNotice&) = delete;
        void Deliver();

    private:
        CThread* m_pThread;
    };

    static void* Entry(void* pThread);
    void Run();
    void OnEnded();

    std::size_t m_nStackBytes = 0;
    bool m_bStarted = false;
    // Made on the thread, so that it is that thread's loop; kept until the
    // object goes, so that late posts find it closed rather than gone.
    std::unique_ptr<CEventLoop> m_pLoop;
    // For a thread that deletes itself: the loop it tells of its end.
    CEventLoop* m_pCreatorLoop = nullptr;
    std::atomic<std::uint32_t> m_nThreadId{0};
    std::shared_ptr<CEndSignal> m_pEnd;
};
