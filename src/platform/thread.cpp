#include "platform/thread.h"

#include <cassert>
#include <chrono>
#include <utility>

CThread::CThread() : m_pEnd(std::make_shared<CEndSignal>()) {}

CThread::~CThread()
{
    assert((!m_bStarted || m_pEnd->HasEnded()) && "CThread destroyed while running");
}

bool CThread::CEndSignal::HasEnded() const
{
    std::lock_guard lock(m_Lock);
    return m_bEnded;
}

bool CThread::CEndSignal::WaitFor(int timeoutMs) const
{
    std::unique_lock lock(m_Lock);
    return m_Ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_bEnded; });
}

void CThread::CEndSignal::Raise()
{
    {
        std::lock_guard lock(m_Lock);
        m_bEnded = true;
    }
    m_Ended.notify_all();
}

void CThread::SetAutoDelete()
{
    m_pCreatorLoop = &CEventLoop::Current();
}

bool CThread::PostThreadMessage(std::function<void()> message)
{
    if (m_nThreadId.load() == 0)
        return false;
    return m_pLoop->Post(std::move(message));
}

void CThread::PostQuitMessage()
{
    if (m_nThreadId.load() == 0)
        return;
    m_pLoop->RequestInterruption();
    PostThreadMessage([pLoop = m_pLoop.get()] { pLoop->Quit(); });
}

void* CThread::Entry(void* pThread)
{
    static_cast<CThread*>(pThread)->Run();
    return nullptr;
}

void CThread::Run()
{
    m_pLoop = std::make_unique<CEventLoop>();
    m_nThreadId.store(CurrentThreadId());
    m_nThreadId.notify_all();
    if (InitInstance())
        m_pLoop->Run();
    ExitInstance();
    m_pLoop->Close();
    // Told before the end is raised, so that whoever sees the end finds the
    // notice queued; the deletion it brings waits for the raise and the return.
    if (m_pCreatorLoop != nullptr)
        m_pCreatorLoop->Post([notice = std::make_shared<CEndNotice>(this)] { notice->Deliver(); });
    // The object may be gone as soon as the end is raised; the signal stays
    // for as long as this holds it.
    const std::shared_ptr<CEndSignal> pEnd = m_pEnd;
    pEnd->Raise();
}

// The notice is delivered when its task runs, or when the creating loop
// closes with the task unrun (the program ending): a dropped notice must not
// leave the object behind. A post that was refused dies on the thread itself,
// which cannot delete itself; the object then stays.
CThread::CEndNotice::~CEndNotice()
{
    if (m_pThread != nullptr)
        Deliver();
}

void CThread::CEndNotice::Deliver()
{
    CThread* pThread = std::exchange(m_pThread, nullptr);
    if (pThread->ThreadId() != CurrentThreadId())
        pThread->OnEnded();
}

// Told by the thread itself as its last act, so the join is over in moments.
// A thread that somehow does not end is left alone rather than deleted running.
void CThread::OnEnded()
{
    std::unique_ptr<CThread> self(this);
    if (!Join(kEndJoinTimeoutMs))
        self.release();
}

bool CThread::Join(int timeoutMs)
{
    return !m_bStarted || m_pEnd->WaitFor(timeoutMs);
}
