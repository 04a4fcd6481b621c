#include "platform/async_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/system_call.h"

namespace {

// sendfile has no MSG_NOSIGNAL: a peer that has gone would raise SIGPIPE and
// end the program. Blocked on the sending thread, the signal stays pending
// there harmlessly and the call fails with EPIPE like a send.
void BlockBrokenPipeOnThisThread()
{
    thread_local bool bBlocked = false;
    if (bBlocked)
        return;
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
    bBlocked = true;
}

std::string DottedAddress(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text));
    return std::string(text);
}

} // namespace

int CAsyncSocket::ErrorFromErrno(int error)
{
    switch (error) {
    case EAGAIN:
    case EINPROGRESS:
    case EALREADY:
        return WSAEWOULDBLOCK;
    case EINVAL:
        return WSAEINVAL;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case ENOTCONN:
        return WSAENOTCONN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    default:
        return WSAEOTHER + error;
    }
}

bool CAsyncSocket::Create(uint16_t port, long events, const char* address, bool bReuseAddress)
{
    AssertOwnThread();
    Close();
    CUniqueSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.Valid()) {
        m_nLastError = ErrorFromErrno(errno);
        return false;
    }
    if (bReuseAddress) {
        const int on = 1;
        ::setsockopt(socket.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    }
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (address != nullptr && inet_pton(AF_INET, address, &local.sin_addr) != 1) {
        m_nLastError = WSAEINVAL;
        return false;
    }
    if (::bind(socket.Get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) < 0) {
        m_nLastError = ErrorFromErrno(errno);
        return false;
    }
    m_Socket = std::move(socket);
    m_lEvents = events;
    StartNotifiers();
    return true;
}

bool CAsyncSocket::Attach(SocketHandle handle, long events)
{
    AssertOwnThread();
    Close();
    if (handle == kNoSocket) {
        m_nLastError = WSAENOTSOCK;
        return false;
    }
    // Accepted handles come non-blocking already.
    const int flags = ::fcntl(handle, F_GETFL);
    if ((flags & O_NONBLOCK) == 0)
        ::fcntl(handle, F_SETFL, flags | O_NONBLOCK);
    m_Socket.Reset(handle);
    m_lEvents = events;
    StartNotifiers();
    ArmWrite(true);
    return true;
}

bool CAsyncSocket::Listen(int backlog)
{
    AssertOwnThread();
    if (::listen(m_Socket.Get(), backlog) < 0) {
        m_nLastError = ErrorFromErrno(errno);
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
    const int handle = CSystemCall::RetryOnInterrupt(
        [&] { return ::accept4(m_Socket.Get(), pRemote, pLength, SOCK_NONBLOCK | SOCK_CLOEXEC); });
    if (handle == kNoSocket)
        m_nLastError = ErrorFromErrno(errno);
    return handle;
}

bool CAsyncSocket::Connect(const std::string& host, uint16_t port)
{
    AssertOwnThread();
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &remote.sin_addr) != 1) {
        m_nLastError = WSAEINVAL;
        return false;
    }
    const int result = CSystemCall::RetryOnInterrupt(
        [&] { return ::connect(m_Socket.Get(), reinterpret_cast<sockaddr*>(&remote), sizeof(remote)); });
    if (result == 0) {
        // Connected at once (loopback can): report it the same way as a late connect.
        m_bConnecting = true;
        ArmWrite(true);
        return true;
    }
    m_nLastError = ErrorFromErrno(errno);
    if (m_nLastError == WSAEWOULDBLOCK) {
        m_bConnecting = true;
        ArmWrite(true);
    }
    return false;
}

int CAsyncSocket::Send(const void* data, int length)
{
    return SendResult(CSystemCall::RetryOnInterrupt(
        [&] { return static_cast<int>(::send(m_Socket.Get(), data, length, MSG_NOSIGNAL | MSG_DONTWAIT)); }));
}

int CAsyncSocket::SendFile(FileHandle hFile, int64_t offset, int length)
{
    BlockBrokenPipeOnThisThread();
    off_t position = offset;
    return SendResult(CSystemCall::RetryOnInterrupt(
        [&] { return static_cast<int>(::sendfile(m_Socket.Get(), hFile, &position, length)); }));
}

// A send that would block asks for the next write notification.
int CAsyncSocket::SendResult(int sent)
{
    if (sent < 0) {
        m_nLastError = ErrorFromErrno(errno);
        if (m_nLastError == WSAEWOULDBLOCK)
            ArmWrite(true);
        return kSocketError;
    }
    return sent;
}

int CAsyncSocket::Receive(void* buffer, int length, int flags)
{
    const int received = CSystemCall::RetryOnInterrupt(
        [&] { return static_cast<int>(::recv(m_Socket.Get(), buffer, length, flags | MSG_DONTWAIT)); });
    // Receiving is what asks for the next read notification.
    ArmRead(true);
    if (received < 0) {
        m_nLastError = ErrorFromErrno(errno);
        return kSocketError;
    }
    return received;
}

bool CAsyncSocket::ShutDown(ShutDownHow how)
{
    const int direction = how == kShutDownReceive ? SHUT_RD : how == kShutDownSend ? SHUT_WR : SHUT_RDWR;
    if (::shutdown(m_Socket.Get(), direction) < 0) {
        m_nLastError = ErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool CAsyncSocket::SetNoDelay(bool bOn)
{
    const int value = bOn ? 1 : 0;
    if (::setsockopt(m_Socket.Get(), IPPROTO_TCP, TCP_NODELAY, &value, sizeof(value)) < 0) {
        m_nLastError = ErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool CAsyncSocket::SetPeerTimeouts(const PeerTimeouts& timeouts)
{
    const int on = 1;
    const unsigned int userTimeout = static_cast<unsigned int>(timeouts.nUserTimeoutMs);
    const bool bSet = ::setsockopt(m_Socket.Get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on)) == 0
        && ::setsockopt(m_Socket.Get(), IPPROTO_TCP, TCP_KEEPIDLE, &timeouts.nKeepIdleSeconds, sizeof(int)) == 0
        && ::setsockopt(m_Socket.Get(), IPPROTO_TCP, TCP_KEEPINTVL, &timeouts.nKeepIntervalSeconds, sizeof(int)) == 0
        && ::setsockopt(m_Socket.Get(), IPPROTO_TCP, TCP_KEEPCNT, &timeouts.nKeepProbes, sizeof(int)) == 0
        && ::setsockopt(m_Socket.Get(), IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof(userTimeout)) == 0;
    if (!bSet)
        m_nLastError = ErrorFromErrno(errno);
    return bSet;
}

bool CAsyncSocket::PeerNameOf(SocketHandle handle, std::string& address, uint16_t& port)
{
    sockaddr_in remote = {};
    socklen_t length = sizeof(remote);
    if (::getpeername(handle, reinterpret_cast<sockaddr*>(&remote), &length) < 0)
        return false;
    address = DottedAddress(remote);
    port = ntohs(remote.sin_port);
    return true;
}

bool CAsyncSocket::GetSockName(std::string& address, uint16_t& port) const
{
    sockaddr_in local = {};
    socklen_t length = sizeof(local);
    if (::getsockname(m_Socket.Get(), reinterpret_cast<sockaddr*>(&local), &length) < 0)
        return false;
    address = DottedAddress(local);
    port = ntohs(local.sin_port);
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
    const int peeked = CSystemCall::RetryOnInterrupt(
        [&] { return static_cast<int>(::recv(m_Socket.Get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT)); });
    if (peeked > 0) {
        if (m_lEvents & FD_READ)
            OnReceive(0);
        return;
    }
    if (peeked < 0 && errno == EAGAIN) {
        ArmRead(true);
        return;
    }
    // End of stream or a reset: the close notification comes once.
    const int error = peeked == 0 ? 0 : ErrorFromErrno(errno);
    m_bCloseNotified = true;
    if (m_lEvents & FD_CLOSE)
        OnClose(error);
}

void CAsyncSocket::CompleteConnect()
{
    m_bConnecting = false;
    ArmWrite(false);
    ArmRead(true);
    int error = 0;
    socklen_t length = sizeof(error);
    ::getsockopt(m_Socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length);
    const int nError = error == 0 ? 0 : ErrorFromErrno(error);
    if (nError != 0)
        ArmRead(false);
    if (m_lEvents & FD_CONNECT)
        OnConnect(nError);
    // As on the platform this layer models, a connected socket is writable at once.
    if (nError == 0 && m_Socket.Valid() && (m_lEvents & FD_WRITE))
        OnSend(0);
}
