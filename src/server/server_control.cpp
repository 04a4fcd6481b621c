#include "server/server_control.h"

#include <algorithm>

#include "platform/process_memory.h"
#include "platform/thread.h"
#include "server/server_view.h"
#include "session/client_thread.h"

CServerControl::CServerControl(IServerView* pView, std::shared_ptr<CServerSettings> pSettings, uint16_t nPort,
                               const char* address)
    : m_pView(pView),
      m_Loop(CEventLoop::Current()),
      m_pSettings(std::move(pSettings)),
      m_pHub(std::make_shared<CSessionHub>(m_pSettings)),
      m_nPort(nPort),
      m_strAddress(address != nullptr ? address : "")
{
    m_pHub->SetReceiver(&m_Loop, [this](const CSessionHub::Notification& notification) { OnNotification(notification); });
}

CServerControl::~CServerControl()
{
    // Sessions that outlive the window keep the hub, but nothing reaches us any more.
    m_pHub->SetReceiver(nullptr, nullptr);
    if (m_nGiveBackTimerId != 0)
        m_Loop.CancelTimer(m_nGiveBackTimerId);
    m_ListenSocket.Close();
}

uint16_t CServerControl::ListeningPort() const
{
    std::string address;
    uint16_t port = 0;
    m_ListenSocket.GetSockName(address, port);
    return port;
}

void CServerControl::StartServer()
{
    if (m_bServerRunning)
        return;
    // Address reuse lets Stop then Start bind again while old connections
    // linger in TIME_WAIT; on Linux it never lets two listeners share the port.
    const char* address = m_strAddress.empty() ? nullptr : m_strAddress.c_str();
    const bool bListening = m_ListenSocket.Create(m_nPort, kAllSocketEvents, address, true)
                            && m_ListenSocket.Listen(kClientBacklog);
    if (!bListening) {
        // A socket that was created but could not listen would keep the port.
        m_ListenSocket.Close();
        AddLogLine(CThread::CurrentThreadId(), Text::LogServerPortFailed, static_cast<int>(kControlPort));
        return;
    }
    m_ListenSocket.SetOwner(this);
    m_bServerRunning = true;
    AddLogLine(CThread::CurrentThreadId(), Text::LogServerStarted, static_cast<int>(kControlPort));
    m_pView->SetStatusText(CTextTable::Big5(Text::StatusOnline));
    m_pView->SetServerRunning(true);
}

void CServerControl::StopServer()
{
    if (!m_bServerRunning)
        return;
    m_bServerRunning = false;
    m_pView->SetStatusText(CTextTable::Big5(Text::StatusOffline));
    m_ListenSocket.Close();
    while (CClientThread* pThread = m_pHub->FirstSession())
        StopSession(pThread);
    AddLogLine(CThread::CurrentThreadId(), Text::LogServerStopped);
    m_pView->SetServerRunning(false);
}

void CServerControl::StopSession(CClientThread* pThread)
{
    // The thread may delete itself (on this thread) while we wait for it;
    // its end signal outlives it.
    const std::shared_ptr<const CThread::CEndSignal> pEnd = pThread->EndSignal();
    const uint32_t threadId = pThread->ThreadId();
    AddLogLine(threadId, Text::LogClosingThread);
    pThread->RaisePriority();
    pThread->PostQuitMessage();
    if (m_Loop.WaitUntil([&pEnd] { return pEnd->HasEnded(); }, m_nStopTimeoutMs)) {
        // Its last words (the disconnect) are shown before it is reported closed.
        m_pHub->Deliver();
        AddLogLine(threadId, Text::LogThreadClosed);
        // It left the registry at its end; make sure, without touching it.
        m_pHub->Remove(pThread);
        return;
    }
    AddLogLine(threadId, Text::LogThreadStuck);
    m_pHub->Remove(pThread);
}

void CServerControl::StartSession(SocketHandle hAcceptedSocket)
{
    auto* pThread = new CClientThread(hAcceptedSocket, m_pHub);
    pThread->SetAutoDelete();
    m_pHub->Register(pThread);
    pThread->ResumeThread();
}

void CServerControl::OnNotification(const CSessionHub::Notification& notification)
{
    switch (notification.kind) {
    case CSessionHub::Kind::Connected:
        OnClientConnected(notification.text, notification.threadId);
        break;
    case CSessionHub::Kind::Disconnected:
        OnClientDisconnected(notification.text, notification.threadId);
        break;
    case CSessionHub::Kind::Log:
        OnServerLog(notification.text, notification.threadId);
        break;
    }
}

void CServerControl::OnClientConnected(const std::string& address, uint32_t threadId)
{
    ++m_nConnections;
    m_nPeakConnections = std::max(m_nPeakConnections, m_nConnections);
    m_pView->SetCaption(CTextTable::Format(Text::CaptionConnected, m_nConnections));
    AddLogLine(threadId, Text::LogClientConnected, address.c_str());
}

void CServerControl::OnClientDisconnected(const std::string& address, uint32_t threadId)
{
    --m_nConnections;
    m_pView->SetCaption(CTextTable::Format(Text::CaptionDisconnected, m_nConnections));
    AddLogLine(threadId, Text::LogClientDisconnected, address.c_str());
    ++m_nEndedConnections;
    if (m_nEndedConnections >= kGiveBackSessions && m_nConnections * 2 <= m_nPeakConnections
        && m_nGiveBackTimerId == 0)
        m_nGiveBackTimerId = m_Loop.StartTimer(kGiveBackDelayMs, [this] {
            m_nGiveBackTimerId = 0;
            GiveBackMemory();
        });
}

// What the sessions of a crowd allocated lies freed between the allocations
// that outlived them (log rows, the registry), where the heap cannot return
// it by itself.
void CServerControl::GiveBackMemory()
{
    CProcessMemory::GiveBackFreePages();
    m_nPeakConnections = m_nConnections;
    m_nEndedConnections = 0;
}

void CServerControl::OnServerLog(const std::string& text, uint32_t threadId)
{
    // A session's text is shown as it was sent: it is never used as a template.
    AddLogText(threadId, text);
}

void CServerControl::AddLogText(uint32_t threadId, const std::string& message)
{
    m_pView->AddLogRow(threadId, message);
}
