#include "session/client_thread.h"

#include "platform/text_table.h"
#include "session/connection_timeouts.h"
#include "session/control_socket.h"

CClientThread::CClientThread(SocketHandle hAcceptedSocket, std::shared_ptr<ISessionHost> pHost)
    : m_AcceptedSocket(hAcceptedSocket), m_pHost(std::move(pHost))
{
    SetStackSize(kStackBytes);
}

// A thread that never ran still owns the accepted connection; its member closes it.
CClientThread::~CClientThread() = default;

void CClientThread::PostLog(const std::string& text)
{
    m_pHost->PostServerLog(text, ThreadId());
}

bool CClientThread::InitInstance()
{
    // The session's data connections go to this address and no other.
    uint16_t port = 0;
    if (!CAsyncSocket::PeerNameOf(m_AcceptedSocket.Get(), m_strPeerAddress, port))
        m_strPeerAddress.clear();
    m_pControlSocket = std::make_unique<CControlSocket>(*this);
    m_pControlSocket->Attach(m_AcceptedSocket.Release(), kAllSocketEvents);
    // Each reply is one whole line in one send. Coalescing would hold a
    // transfer's 226 until the client acknowledged its 150, which a client
    // that is only reading delays by tens of milliseconds per transfer.
    m_pControlSocket->SetNoDelay(true);
    m_pControlSocket->SetPeerTimeouts(ConnectionTimeouts::kControl);
    m_pControlSocket->SendReply(Text::Greeting);
    m_pHost->PostClientConnected(m_strPeerAddress, ThreadId());
    return true;
}

int CClientThread::ExitInstance()
{
    // The session's end also ends its transfer: the data connection and any
    // open file are closed here rather than left to the process's end.
    m_pControlSocket->DataChannel().Release(CDataChannel::When::Now);
    m_pHost->Unregister(this);
    m_pHost->PostClientDisconnected(m_strPeerAddress, ThreadId());
    m_pControlSocket.reset();
    return 0;
}
