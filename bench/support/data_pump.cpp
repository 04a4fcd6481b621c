#include "data_pump.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/system_call.h"

namespace BenchData {

namespace {

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

bool OpenClient(CFtpTestClient& client, int port, Clock::time_point deadline)
{
    client.SetQuickAck(true);
    client.SetPassiveToControlPeer();
    if (!client.Connect(static_cast<uint16_t>(port), deadline))
        return false;
    client.SetNoDelay();
    return client.ReadReply(deadline) == 220;
}

bool LogIn(CFtpTestClient& client, Clock::time_point deadline)
{
    const int user = client.CommandCode("USER anonymous", deadline);
    if (user == 230)
        return client.CommandCode("TYPE I", deadline) > 0;
    return user == 331 && client.CommandCode("PASS bench@localhost", deadline) == 230
        && client.CommandCode("TYPE I", deadline) > 0;
}

void DrainUntilReadable(int fd, int other, Clock::time_point deadline)
{
    std::vector<char> buffer(kBulkBlock);
    while (Clock::now() < deadline) {
        pollfd both[2] = {{fd, POLLIN, 0}, {other, POLLIN, 0}};
        if (CSystemCall::RetryOnInterrupt([&] { return ::poll(both, 2, kIdleTimeoutMs); }) < 0)
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
    while (total > 0) {
        const std::int64_t chunk = std::min<std::int64_t>(total, static_cast<std::int64_t>(block.size()));
        if (!CTestSocket::WriteAll(fd, block.data(), chunk, deadline, kBlock))
            return false;
        total -= chunk;
    }
    return true;
}

bool MakeFile(const std::string& path, std::int64_t size)
{
    CUniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.Valid())
        return false;
    const std::vector<char>& block = PatternBlock();
    while (size > 0) {
        const std::size_t chunk = size < static_cast<std::int64_t>(block.size()) ? static_cast<std::size_t>(size) : block.size();
        const ssize_t written = CSystemCall::RetryOnInterrupt([&] { return ::write(file.Get(), block.data(), chunk); });
        if (written <= 0)
            return false;
        size -= written;
    }
    return true;
}

} // namespace BenchData
