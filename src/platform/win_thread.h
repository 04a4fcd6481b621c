#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include <QThread>

// A thread with its own event loop: InitInstance runs first on the new
// thread, then the loop runs until the thread is told to quit, then
// ExitInstance. Other threads talk to it only by posting messages, which run
// later on this thread, in the order posted.
class CWinThread : public QThread {
    Q_OBJECT
public:
    CWinThread();
    ~CWinThread() override;

    // Lets a thread created "suspended" run; returns once its kernel thread id
    // is known, so the id can be logged from the first moment.
    void ResumeThread();
    quint32 ThreadId() const { return m_nThreadId.load(); }
    // The kernel id of the calling thread, as the log shows it.
    static quint32 CurrentThreadId();

    // Any thread: queue a call to run on this thread's loop.
    void PostThreadMessage(std::function<void()> message);
    // Any thread: end this thread's loop once it takes this message; a wait
    // or a blocked send on the thread gives up as soon as it is posted.
    void PostQuitMessage();
    // The object that lives on this thread and receives its posted messages.
    QObject* Receiver() const { return m_pReceiver.get(); }

protected:
    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }

private:
    void run() final;

    std::unique_ptr<QObject> m_pReceiver;
    std::atomic<quint32> m_nThreadId{0};
};
