#include "test_socket.h"

#ifdef _WIN32
#include "platform/win32/winsock_session.h"
#else
#include <fcntl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <regex>
#include <vector>

#include "platform/event_loop.h"
#include "platform/system_call.h"

namespace {

// While pumping, how long one look at the descriptor waits before the
// thread's events get their turn.
constexpr int kSliceMs = 5;
constexpr int64_t kBlock = 1 << 20;

// One call's share of a count: Winsock takes an int.
int Chunk(int64_t size)
{
    return static_cast<int>(std::min<int64_t>(size, kBlock));
}

int RemainingMs(CTestSocket::Deadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - CTestSocket::Clock::now());
    return static_cast<int>(std::max<int64_t>(left.count(), 0));
}

int Poll(SocketHandle fd, short events, int timeoutMs)
{
    pollfd entry = {fd, events, 0};
    return CSystemCall::RetryOnInterrupt([&] { return ::poll(&entry, 1, timeoutMs); });
}

#ifdef _WIN32
bool LastCallWouldBlock()
{
    return ::WSAGetLastError() == WSAEWOULDBLOCK;
}

bool ConnectPending()
{
    return LastCallWouldBlock();
}

// Winsock starts once per process, before its first socket; the tests'
// sockets may come before any of the program's.
CUniqueSocket OpenStream(bool)
{
    CWinsockSession::Start();
    CUniqueSocket socket(::socket(AF_INET, SOCK_STREAM, 0));
    u_long nonBlocking = 1;
    if (socket.Valid())
        ::ioctlsocket(socket.Get(), FIONBIO, &nonBlocking);
    return socket;
}

// Left non-blocking: a blocking send would wait for the whole buffer, past
// any deadline, where Linux sends what fits.
void MakeBlocking(SocketHandle) {}

CUniqueSocket AcceptOne(SocketHandle listener)
{
    CUniqueSocket socket(::accept(listener, nullptr, nullptr));
    u_long nonBlocking = 1;
    if (socket.Valid())
        ::ioctlsocket(socket.Get(), FIONBIO, &nonBlocking);
    return socket;
}
#else
bool LastCallWouldBlock()
{
    return errno == EAGAIN;
}

bool ConnectPending()
{
    return errno == EINPROGRESS;
}

CUniqueSocket OpenStream(bool bNonBlocking)
{
    return CUniqueSocket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (bNonBlocking ? SOCK_NONBLOCK : 0), 0));
}

void MakeBlocking(SocketHandle fd)
{
    ::fcntl(fd, F_SETFL, 0);
}

CUniqueSocket AcceptOne(SocketHandle listener)
{
    return CUniqueSocket(CSystemCall::RetryOnInterrupt([&] { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }));
}
#endif

// Starts a connection from localAddress when one is given; false when that
// failed at once.
bool StartConnect(SocketHandle socket, const char* address, uint16_t port, const char* localAddress)
{
    const sockaddr_in local = CTestSocket::Address(localAddress != nullptr ? localAddress : "0.0.0.0", 0);
    if (localAddress != nullptr && ::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) < 0)
        return false;
    const sockaddr_in remote = CTestSocket::Address(address, port);
    return ::connect(socket, reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) == 0 || ConnectPending();
}

bool Finished(SocketHandle fd, CTestSocket::Deadline deadline, CTestSocket::Wait wait)
{
    const auto connected = [fd] {
        int error = 0;
        socklen_t length = sizeof(error);
        return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
    };
    return CTestSocket::WaitFor(fd, POLLOUT, deadline, wait) && connected();
}

} // namespace

CTestSocket::Deadline CTestSocket::DeadlineIn(int milliseconds)
{
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

bool CTestSocket::WaitFor(SocketHandle fd, short events, Deadline deadline, Wait wait)
{
    if (wait == Wait::Block)
        return Poll(fd, events, RemainingMs(deadline)) > 0;
    do {
        if (Poll(fd, events, std::min(kSliceMs, RemainingMs(deadline))) > 0)
            return true;
        CEventLoop::Current().RunPending();
    } while (Clock::now() < deadline);
    return false;
}

sockaddr_in CTestSocket::Address(const char* address, uint16_t port)
{
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    inet_pton(AF_INET, address, &remote.sin_addr);
    return remote;
}

CUniqueSocket CTestSocket::Connect(const char* address, uint16_t port, Deadline deadline, Wait wait,
                               const char* localAddress, int receiveBuffer)
{
    CUniqueSocket socket = OpenStream(true);
    if (!socket.Valid())
        return {};
    if (receiveBuffer > 0)
        ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                     sizeof(receiveBuffer));
    if (!StartConnect(socket.Get(), address, port, localAddress) || !Finished(socket.Get(), deadline, wait))
        return {};
    MakeBlocking(socket.Get());
    return socket;
}

CUniqueSocket CTestSocket::BeginConnect(const char* address, uint16_t port)
{
    CUniqueSocket socket = OpenStream(true);
    if (socket.Valid() && !StartConnect(socket.Get(), address, port, nullptr))
        socket.Reset();
    return socket;
}

bool CTestSocket::Pair(CUniqueSocket& one, CUniqueSocket& other)
{
    uint16_t port = 0;
    const CUniqueSocket listener = Listen("127.0.0.1", port);
    const Deadline deadline = DeadlineIn(kDeadlineMs);
    one = listener.Valid() ? Connect("127.0.0.1", port, deadline, Wait::Block) : CUniqueSocket();
    other = one.Valid() ? Accept(listener.Get(), deadline, Wait::Block) : CUniqueSocket();
    return other.Valid();
}

bool CTestSocket::Readable(SocketHandle fd, int timeoutMs)
{
    return Poll(fd, POLLIN, timeoutMs) > 0;
}

CUniqueSocket CTestSocket::Listen(const char* address, uint16_t& port, int backlog)
{
    CUniqueSocket socket = OpenStream(false);
    sockaddr_in local = Address(address, 0);
    socklen_t length = sizeof(local);
    if (!socket.Valid() || ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) < 0
        || ::listen(socket.Get(), backlog) < 0
        || ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&local), &length) < 0)
        return {};
    port = ntohs(local.sin_port);
    return socket;
}

CUniqueSocket CTestSocket::Accept(SocketHandle listener, Deadline deadline, Wait wait)
{
    if (!WaitFor(listener, POLLIN, deadline, wait))
        return {};
    return AcceptOne(listener);
}

void CTestSocket::Reset(CUniqueSocket& socket)
{
    const linger abort = {1, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof(abort));
    socket.Reset();
}

void CTestSocket::AcknowledgeAtOnce([[maybe_unused]] SocketHandle fd)
{
#ifdef TCP_QUICKACK
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof(one));
#endif
}

bool CTestSocket::WriteAll(SocketHandle fd, const char* bytes, int64_t size, Deadline deadline, Wait wait)
{
    int64_t sent = 0;
    while (sent < size) {
        if (!WaitFor(fd, POLLOUT, deadline, wait))
            return false;
        const int64_t result = CSystemCall::RetryOnInterrupt(
            [&] { return ::send(fd, bytes + sent, Chunk(size - sent), MSG_NOSIGNAL | MSG_DONTWAIT); });
        if (result < 0 && !LastCallWouldBlock())
            return false;
        sent += std::max<int64_t>(result, 0);
    }
    return true;
}

int64_t CTestSocket::Receive(SocketHandle fd, char* buffer, int64_t size, Deadline deadline, Wait wait)
{
    while (WaitFor(fd, POLLIN, deadline, wait)) {
        const int64_t received =
            CSystemCall::RetryOnInterrupt([&] { return ::recv(fd, buffer, Chunk(size), MSG_DONTWAIT); });
        if (received >= 0 || !LastCallWouldBlock())
            return received;
    }
    return kTimedOut;
}

bool CTestSocket::ReadAtLeast(SocketHandle fd, int64_t count, Deadline deadline, Wait wait)
{
    std::vector<char> buffer(static_cast<std::size_t>(std::min(count, kBlock)));
    while (count > 0) {
        const int64_t received = Receive(fd, buffer.data(), std::min<int64_t>(count, buffer.size()), deadline, wait);
        if (received <= 0)
            return false;
        count -= received;
    }
    return true;
}

int64_t CTestSocket::ReadToEnd(SocketHandle fd, Deadline deadline, Wait wait, std::string* keep, bool bQuickAck)
{
    std::vector<char> buffer(kBlock);
    int64_t total = 0;
    while (true) {
        if (bQuickAck)
            AcknowledgeAtOnce(fd);
        const int64_t received = Receive(fd, buffer.data(), kBlock, deadline, wait);
        if (received <= 0)
            return received == 0 ? total : received;
        if (keep != nullptr)
            keep->append(buffer.data(), received);
        total += received;
    }
}

bool CTestSocket::TakeLine(std::string& pending, std::string& line)
{
    const std::size_t end = pending.find("\r\n");
    if (end == std::string::npos)
        return false;
    line = pending.substr(0, end);
    pending.erase(0, end + 2);
    return true;
}

bool CTestSocket::ParsePassive(const std::string& reply, std::string& host, uint16_t& port)
{
    static const std::regex fields(R"(\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\))");
    std::smatch match;
    if (!reply.starts_with("227") || !std::regex_search(reply, match, fields))
        return false;
    host = match.str(1) + '.' + match.str(2) + '.' + match.str(3) + '.' + match.str(4);
    port = static_cast<uint16_t>(std::stoi(match.str(5)) * 256 + std::stoi(match.str(6)));
    return true;
}
