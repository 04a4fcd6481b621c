#include "session_harness.h"

#include <QCoreApplication>
#include <QEvent>

#include "platform/message_pump.h"
#include "session/client_thread.h"

CSessionHarness::CSessionHarness(std::shared_ptr<ISessionHost> pHost)
    : m_pRecorder(pHost ? nullptr : std::make_shared<CFakeSessionHost>()),
      m_pHost(pHost ? std::move(pHost) : m_pRecorder)
{
    Create(0, kAllSocketEvents, "127.0.0.1");
    Listen(5);
    std::string address;
    GetSockName(address, m_nPort);
}

CSessionHarness::~CSessionHarness()
{
    Close();
    for (const QPointer<CClientThread>& session : m_Sessions) {
        if (session && !session->isFinished()) {
            session->PostQuitMessage();
            CMessagePump::WaitForThreadEnd(QPointer<QThread>(session.data()), 5000);
        }
    }
    // Those that have ended delete themselves once told of it here.
    CMessagePump::PumpPendingMessages();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool CSessionHarness::AllSessionsEnded() const
{
    for (const QPointer<CClientThread>& session : m_Sessions) {
        if (session && !session->isFinished())
            return false;
    }
    return true;
}

void CSessionHarness::OnAccept(int)
{
    const int handle = AcceptHandle();
    if (handle < 0)
        return;
    auto* session = new CClientThread(handle, m_pHost);
    session->SetAutoDelete();
    m_Sessions.emplace_back(session);
    session->ResumeThread();
}
