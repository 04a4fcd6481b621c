#include "test_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

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

bool Finished(SocketHandle fd, CTestSocket::Deadline deadline, CTestSocket::Wait wait)
{
    const auto connected = [fd] {
        int error = 0;
        socklen_t length = sizeof(error);
        return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
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
    CUniqueSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.Valid())
        return {};
    if (receiveBuffer > 0)
        ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    const sockaddr_in local = Address(localAddress != nullptr ? localAddress : "0.0.0.0", 0);
    if (localAddress != nullptr && ::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) < 0)
        return {};
    const sockaddr_in remote = Address(address, port);
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) < 0
        && (errno != EINPROGRESS || !Finished(socket.Get(), deadline, wait)))
        return {};
    ::fcntl(socket.Get(), F_SETFL, 0);
    return socket;
}

CUniqueSocket CTestSocket::Listen(const char* address, uint16_t& port, int backlog)
{
    CUniqueSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
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
    return CUniqueSocket(CSystemCall::RetryOnInterrupt([&] { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }));
}

void CTestSocket::Reset(CUniqueSocket& socket)
{
    const linger abort = {1, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    socket.Reset();
}

void CTestSocket::AcknowledgeAtOnce(SocketHandle fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof(one));
}

bool CTestSocket::WriteAll(SocketHandle fd, const char* bytes, int64_t size, Deadline deadline, Wait wait)
{
    int64_t sent = 0;
    while (sent < size) {
        if (!WaitFor(fd, POLLOUT, deadline, wait))
            return false;
        const ssize_t result = CSystemCall::RetryOnInterrupt(
            [&] { return ::send(fd, bytes + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT); });
        if (result < 0 && errno != EAGAIN)
            return false;
        sent += std::max<ssize_t>(result, 0);
    }
    return true;
}

int64_t CTestSocket::Receive(SocketHandle fd, char* buffer, int64_t size, Deadline deadline, Wait wait)
{
    while (WaitFor(fd, POLLIN, deadline, wait)) {
        const ssize_t received =
            CSystemCall::RetryOnInterrupt([&] { return ::recv(fd, buffer, size, MSG_DONTWAIT); });
        if (received >= 0 || errno != EAGAIN)
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
