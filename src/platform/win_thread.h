#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include <QThread>

class CMessageQueue;

// A thread with its own event loop: InitInstance runs first on the new
// thread, then the loop runs until the thread is told to quit, then
// ExitInstance. Other threads talk to it only by posting messages, which run
// later on this thread, in the order posted; once ExitInstance has returned,
// messages are dropped.
class CWinThread : public QThread {
    Q_OBJECT
public:
    CWinThread();
    ~CWinThread() override;

    // Creating thread, before ResumeThread: once the thread has ended, the
    // object deletes itself there (the creating thread's loop has to run).
    void SetAutoDelete();
    // Lets a thread created "suspended" run; returns once its kernel thread id
    // is known, so the id can be logged from the first moment.
    void ResumeThread();
    quint32 ThreadId() const { return m_nThreadId.load(); }
    // The kernel id of the calling thread, as the log shows it.
    static quint32 CurrentThreadId();

    // Any thread: queue a call to run on this thread's loop; false, and the
    // call is dropped, once the thread has ended its loop.
    bool PostThreadMessage(std::function<void()> message);
    // Any thread: end this thread's loop once it takes this message; a wait
    // or a blocked send on the thread gives up as soon as it is posted.
    void PostQuitMessage();
    // Blocks up to timeoutMs for the thread to end. Once true (it ended, or
    // never ran), what it did is ordered before what the caller does next,
    // for the race detector too, and the caller may delete it.
    bool Join(unsigned long timeoutMs);

protected:
    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }

private:
    // A thread that has told of its end has only the toolkit's teardown left.
    static constexpr unsigned long kEndJoinTimeoutMs = 5000;

    void run() final;
    void OnEnded();

    std::unique_ptr<CMessageQueue> m_pMessages;
    // On the creating thread, for a thread that deletes itself: the thread
    // tells it of its end there.
    std::unique_ptr<CMessageQueue> m_pEndNotice;
    std::atomic<quint32> m_nThreadId{0};
    // Set last thing on the thread. The toolkit's wait for a thread's end is
    // invisible to the race detector; this flag's release and Join's acquire
    // are not.
    std::atomic<bool> m_bEnded{false};
};
