#include "platform/win_thread.h"

#include <unistd.h>

CWinThread::CWinThread() : m_pReceiver(std::make_unique<QObject>())
{
    m_pReceiver->moveToThread(this);
}

CWinThread::~CWinThread()
{
    Q_ASSERT_X(!isRunning(), "CWinThread", "destroyed while running");
}

quint32 CWinThread::CurrentThreadId()
{
    return static_cast<quint32>(::gettid());
}

void CWinThread::ResumeThread()
{
    start();
    // The new thread's event loop (and the descriptor it takes) exists once
    // the id is there. The wait spins and yields briefly before it sleeps:
    // the new thread is usually that quick, and a sleeping waiter woken by it
    // would take the processor from it just before it greets its client.
    if (isRunning() || isFinished())
        m_nThreadId.wait(0);
}

void CWinThread::PostThreadMessage(std::function<void()> message)
{
    QMetaObject::invokeMethod(m_pReceiver.get(), std::move(message), Qt::QueuedConnection);
}

void CWinThread::PostQuitMessage()
{
    requestInterruption();
    PostThreadMessage([this] { quit(); });
}

void CWinThread::run()
{
    m_nThreadId = CurrentThreadId();
    m_nThreadId.notify_all();
    if (InitInstance())
        exec();
    ExitInstance();
}
