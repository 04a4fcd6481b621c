#include "platform/win_thread.h"

#include <unistd.h>

#include "platform/message_queue.h"

CWinThread::CWinThread() : m_pMessages(std::make_unique<CMessageQueue>())
{
    m_pMessages->moveToThread(this);
}

CWinThread::~CWinThread()
{
    Q_ASSERT_X(!isRunning(), "CWinThread", "destroyed while running");
}

quint32 CWinThread::CurrentThreadId()
{
    return static_cast<quint32>(::gettid());
}

void CWinThread::SetAutoDelete()
{
    m_pEndNotice = std::make_unique<CMessageQueue>();
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

bool CWinThread::PostThreadMessage(std::function<void()> message)
{
    return m_pMessages->Post(std::move(message));
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
    m_pMessages->Close();
    if (m_pEndNotice)
        m_pEndNotice->Post([this] { OnEnded(); });
    m_bEnded.store(true, std::memory_order_release);
}

// Told by the thread itself as its last act, so the join is over in moments.
// A thread that somehow does not end is left alone rather than deleted
// running. The deletion comes after this message, not inside it, since the
// message's queue goes with the object.
void CWinThread::OnEnded()
{
    if (Join(kEndJoinTimeoutMs))
        deleteLater();
}

bool CWinThread::Join(unsigned long timeoutMs)
{
    if (!wait(timeoutMs))
        return false;
    m_bEnded.load(std::memory_order_acquire);
    return true;
}
