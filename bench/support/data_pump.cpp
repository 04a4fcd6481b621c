#include "data_pump.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace BenchData {

namespace {

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

bool WaitFor(int fd, short events, Clock::time_point deadline)
{
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, RemainingMs(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

const std::vector<char>& PatternBlock()
{
    static const std::vector<char> block = [] {
        std::vector<char> bytes(kBulkBlock);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>('a' + i % 26);
        return bytes;
    }();
    return block;
}

} // namespace

Clock::time_point DeadlineIn(double seconds)
{
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double MegabytesPerSecond(std::int64_t bytes, double seconds)
{
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
}

void SetIdleTimeout(int fd, int milliseconds)
{
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

CUniqueFd ConnectLoopback(int port, Clock::time_point deadline, bool bNoDelay)
{
    CUniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.Valid())
        return {};
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS || !WaitFor(socket.Get(), POLLOUT, deadline))
            return {};
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return {};
    }
    ::fcntl(socket.Get(), F_SETFL, 0);
    const int one = 1;
    if (bNoDelay)
        ::setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    SetIdleTimeout(socket.Get(), kIdleTimeoutMs);
    return socket;
}

CUniqueFd ListenLoopback(int& port)
{
    CUniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (!socket.Valid() || ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::listen(socket.Get(), 64) != 0
        || ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    port = ntohs(address.sin_port);
    return socket;
}

CUniqueFd AcceptWithin(int listener, Clock::time_point deadline)
{
    if (!WaitFor(listener, POLLIN, deadline))
        return {};
    CUniqueFd socket(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (socket.Valid())
        SetIdleTimeout(socket.Get(), kIdleTimeoutMs);
    return socket;
}

void AcknowledgeAtOnce(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

std::int64_t ReceiveToEnd(int fd, Clock::time_point deadline, bool bQuickAck)
{
    std::vector<char> buffer(kBulkBlock);
    std::int64_t total = 0;
    while (Clock::now() < deadline) {
        if (bQuickAck)
            AcknowledgeAtOnce(fd);
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got == 0)
            return total;
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return -1;
        }
        total += got;
    }
    return -1;
}

bool ReceiveAtLeast(int fd, std::int64_t count, Clock::time_point deadline)
{
    std::vector<char> buffer(kBulkBlock);
    while (count > 0 && Clock::now() < deadline) {
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))
            return false;
        count -= std::max<ssize_t>(got, 0);
    }
    return count <= 0;
}

void DrainUntilReadable(int fd, int other, Clock::time_point deadline)
{
    std::vector<char> buffer(kBulkBlock);
    while (Clock::now() < deadline) {
        pollfd both[2] = {{fd, POLLIN, 0}, {other, POLLIN, 0}};
        if (::poll(both, 2, kIdleTimeoutMs) < 0 && errno != EINTR)
            return;
        if (both[1].revents != 0)
            return;
        if (both[0].revents != 0 && ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT) == 0)
            return;
    }
}

bool SendPattern(int fd, std::int64_t total, Clock::time_point deadline)
{
    const std::vector<char>& block = PatternBlock();
    while (total > 0 && Clock::now() < deadline) {
        const std::size_t chunk = total < static_cast<std::int64_t>(block.size()) ? static_cast<std::size_t>(total) : block.size();
        const ssize_t sent = ::send(fd, block.data(), chunk, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        total -= sent;
    }
    return total == 0;
}

bool MakeFile(const std::string& path, std::int64_t size)
{
    CUniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.Valid())
        return false;
    const std::vector<char>& block = PatternBlock();
    while (size > 0) {
        const std::size_t chunk = size < static_cast<std::int64_t>(block.size()) ? static_cast<std::size_t>(size) : block.size();
        const ssize_t written = ::write(file.Get(), block.data(), chunk);
        if (written <= 0)
            return false;
        size -= written;
    }
    return true;
}

} // namespace BenchData
