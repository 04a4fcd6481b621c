#include "platform/async_socket.h"

CAsyncSocket::CAsyncSocket() = default;

CAsyncSocket::~CAsyncSocket()
{
    Close();
}

bool CAsyncSocket::AsyncSelect(long events)
{
    AssertOwnThread();
    if (!m_Socket.Valid()) {
        m_nLastError = WSAENOTSOCK;
        return false;
    }
    m_lEvents = events;
    // A new mask re-reports what is already pending, as a fresh selection would.
    ArmRead(true);
    if (!m_bConnecting)
        ArmWrite((events & FD_WRITE) != 0);
    return true;
}

SocketHandle CAsyncSocket::AcceptHandle()
{
    return AcceptInto(nullptr, nullptr);
}

void CAsyncSocket::Close()
{
    StopNotifiers();
    m_Socket.Reset();
    m_bListening = false;
    m_bConnecting = false;
    m_bCloseNotified = false;
}

void CAsyncSocket::OnReceive(int) {}
void CAsyncSocket::OnSend(int) {}
void CAsyncSocket::OnAccept(int) {}
void CAsyncSocket::OnConnect(int) {}
void CAsyncSocket::OnClose(int) {}

void CAsyncSocket::StartNotifiers()
{
    // Urgent bytes (a client's Telnet interrupt before ABOR) arrive inline with
    // the command text, where the interpreter expects them; so no separate
    // out-of-band notification is ever due.
    const int on = 1;
    ::setsockopt(m_Socket.Get(), SOL_SOCKET, SO_OOBINLINE, reinterpret_cast<const char*>(&on), sizeof(on));
    m_bReadWanted = true;
    m_bWriteWanted = false;
    m_bReadWatched = true;
    m_bWriteWatched = false;
    m_nWatchId = Loop().Watch(m_Socket.Get(), true, false, [this](CEventLoop::Readiness readiness) {
        if (readiness == CEventLoop::Readiness::Readable)
            OnReadable();
        else
            OnWritable();
    });
}

void CAsyncSocket::StopNotifiers()
{
    if (m_nWatchId != 0)
        Loop().Unwatch(m_nWatchId);
    m_nWatchId = 0;
    m_bReadWanted = false;
    m_bWriteWanted = false;
    m_bReadWatched = false;
    m_bWriteWatched = false;
}

void CAsyncSocket::Watch(bool bRead, bool bWrite)
{
    if (bRead == m_bReadWatched && bWrite == m_bWriteWatched)
        return;
    m_bReadWatched = bRead;
    m_bWriteWatched = bWrite;
    Loop().SetInterest(m_nWatchId, bRead, bWrite);
}

void CAsyncSocket::ArmRead(bool bArmed)
{
    if (m_nWatchId == 0 || m_bCloseNotified)
        return;
    m_bReadWanted = bArmed;
    if (bArmed)
        Watch(true, m_bWriteWatched);
}

void CAsyncSocket::ArmWrite(bool bArmed)
{
    if (m_nWatchId == 0)
        return;
    // A listening socket is never writable: it is never watched for writing.
    m_bWriteWanted = bArmed && !m_bListening;
    if (m_bWriteWanted)
        Watch(m_bReadWatched, true);
}

bool CAsyncSocket::TakeNotification(bool& bWanted, CEventLoop::Readiness readiness)
{
    AssertOwnThread();
    if (!bWanted) {
        if (readiness == CEventLoop::Readiness::Readable)
            Watch(false, m_bWriteWatched);
        else
            Watch(m_bReadWatched, false);
        return false;
    }
    // Not again until asked for again.
    bWanted = false;
    return true;
}

// A connect in progress owns both directions: a refused connect makes the
// socket readable too, and reading would consume the error the connect
// notification must report.
bool CAsyncSocket::TakeDataNotification(bool& bWanted, CEventLoop::Readiness readiness)
{
    if (!TakeNotification(bWanted, readiness))
        return false;
    if (m_bConnecting) {
        CompleteConnect();
        return false;
    }
    return true;
}

void CAsyncSocket::OnWritable()
{
    if (!TakeDataNotification(m_bWriteWanted, CEventLoop::Readiness::Writable))
        return;
    if (m_lEvents & FD_WRITE)
        OnSend(0);
}
