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
    m_Started.acquire();
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
    m_Started.release();
    if (InitInstance())
        exec();
    ExitInstance();
}
