#include "platform/async_socket.h"

#include <algorithm>
#include <memory>

#include <mstcpip.h>
#include <windows.h>

#include "platform/win32/event_poller.h"
#include "platform/win32/winsock_session.h"

namespace {

// Documented for Windows since Vista, but not in every set of headers: how
// long unacknowledged data may stay so, in seconds, and how many keepalive
// probes go unanswered before the connection is given up.
#ifndef TCP_MAXRT
constexpr int TCP_MAXRT = 5;
#endif
#ifndef TCP_KEEPCNT
constexpr int TCP_KEEPCNT = 16;
#endif

// A download step reads at most this much of the file and offers it to the
// socket; what the socket does not take is read again for the next step.
constexpr int kMostFileBytesPerSend = 256 * 1024;

std::string DottedAddress(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
    return std::string(text);
}

int LastError()
{
    return CAsyncSocket::ErrorFromErrno(::WSAGetLastError());
}

} // namespace

// Winsock reports in the WSA numbers themselves; only a few that name the same
// condition in another way are folded into the ones the sessions test for.
int CAsyncSocket::ErrorFromErrno(int error)
{
    switch (error) {
    case WSAEINPROGRESS:
    case WSAEALREADY:
        return WSAEWOULDBLOCK;
    case WSAESHUTDOWN:
        return WSAECONNRESET;
    case WSAENOBUFS:
        return WSAEMFILE;
    default:
        return error;
    }
}

bool CAsyncSocket::Create(uint16_t port, long events, const char* address, bool bReuseAddress)
{
    AssertOwnThread();
    Close();
    CWinsockSession::Start();
    CUniqueSocket socket(::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
    if (!socket.Valid()) {
        m_nLastError = LastError();
        return false;
    }
    // A listener binds again over old connections in TIME_WAIT without any
    // option on Windows, where address reuse would instead let another
    // program bind the same port over ours.
    static_cast<void>(bReuseAddress);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = ::htons(port);
    local.sin_addr.s_addr = ::htonl(INADDR_ANY);
    if (address != nullptr && ::inet_pton(AF_INET, address, &local.sin_addr) != 1) {
        m_nLastError = WSAEINVAL;
        return false;
    }
    if (::bind(socket.Get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
        m_nLastError = LastError();
        return false;
    }
    m_Socket = std::move(socket);
    m_lEvents = events;
    StartNotifiers();
    return true;
}

// An accepted socket is non-blocking already (its listener's selection made
// it so), and this thread's own selection replaces the one it inherited.
bool CAsyncSocket::Attach(SocketHandle handle, long events)
{
    AssertOwnThread();
    Close();
    if (handle == kNoSocket) {
        m_nLastError = WSAENOTSOCK;
        return false;
    }
    m_Socket.Reset(handle);
    m_lEvents = events;
    StartNotifiers();
    ArmWrite(true);
    return true;
}

bool CAsyncSocket::Listen(int backlog)
{
    AssertOwnThread();
    if (::listen(m_Socket.Get(), backlog) != 0) {
        m_nLastError = LastError();
        return false;
    }
    m_bListening = true;
    ArmRead(true);
    ArmWrite(false);
    return true;
}

SocketHandle CAsyncSocket::AcceptHandle(std::string& peerAddress)
{
    sockaddr_in remote = {};
    socklen_t length = sizeof(remote);
    const SocketHandle handle = AcceptInto(reinterpret_cast<sockaddr*>(&remote), &length);
    peerAddress = handle != kNoSocket && remote.sin_family == AF_INET ? DottedAddress(remote) : std::string();
    return handle;
}

SocketHandle CAsyncSocket::AcceptInto(sockaddr* pRemote, socklen_t* pLength)
{
    AssertOwnThread();
    // Accepting is what asks for the next accept notification.
    ArmRead(true);
    const SocketHandle handle = ::accept(m_Socket.Get(), pRemote, pLength);
    if (handle == kNoSocket)
        m_nLastError = LastError();
    return handle;
}

bool CAsyncSocket::Connect(const std::string& host, uint16_t port)
{
    AssertOwnThread();
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = ::htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &remote.sin_addr) != 1) {
        m_nLastError = WSAEINVAL;
        return false;
    }
    // Asked for before the connect starts: the end of a connect is reported
    // only to a selection that was there when it began (a refusal on
    // loopback comes at once).
    m_bConnecting = true;
    ArmWrite(true);
    if (::connect(m_Socket.Get(), reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) == 0)
        return true;
    m_nLastError = LastError();
    if (m_nLastError != WSAEWOULDBLOCK) {
        m_bConnecting = false;
        ArmWrite(false);
    }
    return false;
}

int CAsyncSocket::Send(const void* data, int length)
{
    return SendResult(::send(m_Socket.Get(), static_cast<const char*>(data), length, 0));
}

// TransmitFile would block the session's thread until the whole step is
// sent, whatever the socket's mode; a buffered step keeps the socket's
// would-block, so a slow client holds nothing but its own transfer.
int CAsyncSocket::SendFile(FileHandle hFile, int64_t offset, int length)
{
    const DWORD wanted = static_cast<DWORD>(std::clamp(length, 0, kMostFileBytesPerSend));
    const auto buffer = std::make_unique_for_overwrite<char[]>(wanted);
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!::ReadFile(hFile, buffer.get(), wanted, &read, &position) && ::GetLastError() != ERROR_HANDLE_EOF) {
        m_nLastError = WSAEOTHER;
        return kSocketError;
    }
    if (read == 0)
        return 0;
    return Send(buffer.get(), static_cast<int>(read));
}

// A send that would block asks for the next write notification.
int CAsyncSocket::SendResult(int sent)
{
    if (sent == SOCKET_ERROR) {
        m_nLastError = LastError();
        if (m_nLastError == WSAEWOULDBLOCK)
            ArmWrite(true);
        return kSocketError;
    }
    return sent;
}

int CAsyncSocket::Receive(void* buffer, int length, int flags)
{
    const int received = ::recv(m_Socket.Get(), static_cast<char*>(buffer), length, flags);
    // Receiving is what asks for the next read notification.
    ArmRead(true);
    if (received == SOCKET_ERROR) {
        m_nLastError = LastError();
        return kSocketError;
    }
    return received;
}

bool CAsyncSocket::ShutDown(ShutDownHow how)
{
    const int direction = how == kShutDownReceive ? SD_RECEIVE : how == kShutDownSend ? SD_SEND : SD_BOTH;
    if (::shutdown(m_Socket.Get(), direction) != 0) {
        m_nLastError = LastError();
        return false;
    }
    return true;
}

bool CAsyncSocket::SetNoDelay(bool bOn)
{
    const BOOL value = bOn ? TRUE : FALSE;
    if (::setsockopt(m_Socket.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value), sizeof(value))
        != 0) {
        m_nLastError = LastError();
        return false;
    }
    return true;
}

// The keepalive times are the system's own call; the number of probes and
// the limit on unacknowledged data are options that older systems (and Wine)
// may not know, where the system's own figures (ten probes, its
// retransmission limit) stand instead.
bool CAsyncSocket::SetPeerTimeouts(const PeerTimeouts& timeouts)
{
    tcp_keepalive keepalive = {};
    keepalive.onoff = 1;
    keepalive.keepalivetime = static_cast<ULONG>(timeouts.nKeepIdleSeconds) * 1000;
    keepalive.keepaliveinterval = static_cast<ULONG>(timeouts.nKeepIntervalSeconds) * 1000;
    DWORD returned = 0;
    if (::WSAIoctl(m_Socket.Get(), SIO_KEEPALIVE_VALS, &keepalive, sizeof(keepalive), nullptr, 0, &returned, nullptr,
                   nullptr)
        != 0) {
        m_nLastError = LastError();
        return false;
    }
    const DWORD probes = static_cast<DWORD>(timeouts.nKeepProbes);
    const DWORD retransmitSeconds = static_cast<DWORD>((timeouts.nUserTimeoutMs + 999) / 1000);
    ::setsockopt(m_Socket.Get(), IPPROTO_TCP, TCP_KEEPCNT, reinterpret_cast<const char*>(&probes), sizeof(probes));
    ::setsockopt(m_Socket.Get(), IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&retransmitSeconds),
                 sizeof(retransmitSeconds));
    return true;
}

bool CAsyncSocket::PeerNameOf(SocketHandle handle, std::string& address, uint16_t& port)
{
    sockaddr_in remote = {};
    int length = sizeof(remote);
    if (::getpeername(handle, reinterpret_cast<sockaddr*>(&remote), &length) != 0)
        return false;
    address = DottedAddress(remote);
    port = ::ntohs(remote.sin_port);
    return true;
}

bool CAsyncSocket::GetSockName(std::string& address, uint16_t& port) const
{
    sockaddr_in local = {};
    int length = sizeof(local);
    if (::getsockname(m_Socket.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return false;
    address = DottedAddress(local);
    port = ::ntohs(local.sin_port);
    return true;
}

void CAsyncSocket::OnReadable()
{
    if (!TakeDataNotification(m_bReadWanted, CEventLoop::Readiness::Readable))
        return;
    if (m_bListening) {
        if (m_lEvents & FD_ACCEPT)
            OnAccept(0);
        return;
    }
    char byte;
    const int peeked = ::recv(m_Socket.Get(), &byte, 1, MSG_PEEK);
    const int error = peeked == SOCKET_ERROR ? LastError() : 0;
    if (peeked > 0) {
        if (m_lEvents & FD_READ)
            OnReceive(0);
        return;
    }
    if (error == WSAEWOULDBLOCK) {
        ArmRead(true);
        return;
    }
    // End of stream or a reset: the close notification comes once.
    m_bCloseNotified = true;
    if (m_lEvents & FD_CLOSE)
        OnClose(error);
}

void CAsyncSocket::CompleteConnect()
{
    m_bConnecting = false;
    ArmWrite(false);
    ArmRead(true);
    // The notification's own error first: after a refused connect the socket
    // itself may no longer tell (Wine's does not).
    int error = CEventPoller::DeliveredError();
    int length = sizeof(error);
    if (error == 0)
        ::getsockopt(m_Socket.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    const int nError = error == 0 ? 0 : ErrorFromErrno(error);
    if (nError != 0)
        ArmRead(false);
    if (m_lEvents & FD_CONNECT)
        OnConnect(nError);
    // As on the platform this layer models, a connected socket is writable at once.
    if (nError == 0 && m_Socket.Valid() && (m_lEvents & FD_WRITE))
        OnSend(0);
}
