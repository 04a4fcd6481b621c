#include "session_harness.h"

#include "platform/event_loop.h"
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
    CEventLoop& loop = CEventLoop::Current();
    for (const Session& session : m_Sessions) {
        if (!session.pEnd->HasEnded()) {
            session.pThread->PostQuitMessage();
            loop.WaitUntil([&session] { return session.pEnd->HasEnded(); }, 5000);
        }
    }
    // Those that have ended delete themselves once told of it here.
    loop.RunPending();
}

bool CSessionHarness::AllSessionsEnded() const
{
    for (const Session& session : m_Sessions) {
        if (!session.pEnd->HasEnded())
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
    m_Sessions.push_back({session, session->EndSignal()});
    session->ResumeThread();
}
