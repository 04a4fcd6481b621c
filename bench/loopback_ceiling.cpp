// What loopback TCP itself carries on this machine for one file, with the simplest sender
// and receiver of each kind: the ceilings an FTP server's transfers are judged against. The
// bulk side of each pair is the benchmark client's own loop, so the same figures also show
// how far the client outruns the servers it measures.
#include "support/data_pump.h"
#include "platform/system_call.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using BenchData::Clock;

namespace {

constexpr std::size_t kSmallBlock = 4096;

struct Setup {
    std::string strPath;
    std::int64_t nSize = 0;
    Clock::time_point deadline;
};

using SideFn = bool (*)(int socket, const Setup& setup);

bool SendWithSendfile(int socket, const Setup& setup)
{
    CUniqueFd file(::open(setup.strPath.c_str(), O_RDONLY | O_CLOEXEC));
    off_t offset = 0;
    while (file.Valid() && offset < setup.nSize && Clock::now() < setup.deadline) {
        const ssize_t sent =
            CSystemCall::RetryOnInterrupt([&] { return ::sendfile(socket, file.Get(), &offset, static_cast<std::size_t>(setup.nSize - offset)); });
        if (sent <= 0)
            return false;
    }
    return offset == setup.nSize;
}

// The server's own download step: one sendfile of at most 4 KiB at a time.
bool SendWithSendfileSteps(int socket, const Setup& setup)
{
    CUniqueFd file(::open(setup.strPath.c_str(), O_RDONLY | O_CLOEXEC));
    off_t offset = 0;
    while (file.Valid() && offset < setup.nSize && Clock::now() < setup.deadline) {
        const auto step = static_cast<std::size_t>(std::min<std::int64_t>(setup.nSize - offset, kSmallBlock));
        const ssize_t sent =
            CSystemCall::RetryOnInterrupt([&] { return ::sendfile(socket, file.Get(), &offset, step); });
        if (sent <= 0)
            return false;
    }
    return offset == setup.nSize;
}

bool SendReadBlocks(int socket, const Setup& setup)
{
    CUniqueFd file(::open(setup.strPath.c_str(), O_RDONLY | O_CLOEXEC));
    char block[kSmallBlock];
    std::int64_t done = 0;
    while (file.Valid() && done < setup.nSize && Clock::now() < setup.deadline) {
        const ssize_t got = ::read(file.Get(), block, sizeof block);
        if (got <= 0)
            return false;
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t now = ::send(socket, block + sent, static_cast<std::size_t>(got - sent), MSG_NOSIGNAL);
            if (now < 0)
                return false;
            sent += now;
        }
        done += got;
    }
    return done == setup.nSize;
}

bool SendBulk(int socket, const Setup& setup)
{
    return BenchData::SendPattern(socket, setup.nSize, setup.deadline);
}

bool ReceiveBulk(int socket, const Setup& setup)
{
    return CTestSocket::ReadToEnd(socket, setup.deadline, BenchData::kBlock, nullptr, true) == setup.nSize;
}

template <std::size_t kBlock>
bool ReceiveWriteBlocks(int socket, const Setup& setup)
{
    CUniqueFd file(::open(setup.strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    std::vector<char> block(kBlock);
    std::int64_t done = 0;
    while (file.Valid() && Clock::now() < setup.deadline) {
        const ssize_t got = ::recv(socket, block.data(), block.size(), 0);
        if (got == 0)
            break;
        if (got < 0 || ::write(file.Get(), block.data(), static_cast<std::size_t>(got)) != got)
            return false;
        done += got;
    }
    ::unlink(setup.strPath.c_str());
    return done == setup.nSize;
}

// Socket to file through a pipe, without the bytes passing through user space.
bool ReceiveSplice(int socket, const Setup& setup)
{
    CUniqueFd file(::open(setup.strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    CUniqueFd out(ends[0]);
    CUniqueFd in(ends[1]);
    const int pipeSize = ::fcntl(in.Get(), F_SETPIPE_SZ, 1 << 20);
    std::int64_t done = 0;
    while (file.Valid() && pipeSize > 0 && Clock::now() < setup.deadline) {
        const ssize_t got = ::splice(socket, nullptr, in.Get(), nullptr, static_cast<std::size_t>(pipeSize), SPLICE_F_MOVE);
        if (got <= 0)
            break;
        for (ssize_t left = got; left > 0;) {
            const ssize_t put = ::splice(out.Get(), nullptr, file.Get(), nullptr, static_cast<std::size_t>(left), SPLICE_F_MOVE);
            if (put <= 0)
                return false;
            left -= put;
        }
        done += got;
    }
    ::unlink(setup.strPath.c_str());
    return done == setup.nSize;
}

struct Pair {
    std::string_view name;
    SideFn sender;
    SideFn receiver;
    bool bFileIsSource;
};

constexpr Pair kPairs[] = {
    {"sendfile", SendWithSendfile, ReceiveBulk, true},
    {"sendfile-4k", SendWithSendfileSteps, ReceiveBulk, true},
    {"read-send-4k", SendReadBlocks, ReceiveBulk, true},
    {"recv-write-4k", SendBulk, ReceiveWriteBlocks<kSmallBlock>, false},
    {"recv-write-256k", SendBulk, ReceiveWriteBlocks<256 << 10>, false},
    {"splice-write", SendBulk, ReceiveSplice, false},
    {"client-send", SendBulk, ReceiveBulk, false},
};

int RunPair(const Pair& pair, Setup setup)
{
    if (pair.bFileIsSource) {
        struct stat info {};
        if (::stat(setup.strPath.c_str(), &info) != 0)
            return 1;
        setup.nSize = info.st_size;
    }
    uint16_t port = 0;
    CUniqueSocket listener = CTestSocket::Listen("127.0.0.1", port, 64);
    if (!listener.Valid())
        return 1;
    // The receiver is a process of its own that connects, as a client does to a server.
    const auto start = Clock::now();
    const pid_t receiver = ::fork();
    if (receiver == 0) {
        CUniqueSocket socket = CTestSocket::Connect("127.0.0.1", port, setup.deadline, BenchData::kBlock);
        BenchData::SetIdleTimeout(socket.Get(), BenchData::kIdleTimeoutMs);
        ::_exit(socket.Valid() && pair.receiver(socket.Get(), setup) ? 0 : 1);
    }
    bool senderGood = false;
    if (receiver > 0) {
        CUniqueSocket socket = CTestSocket::Accept(listener.Get(), setup.deadline, BenchData::kBlock);
        BenchData::SetIdleTimeout(socket.Get(), BenchData::kIdleTimeoutMs);
        senderGood = socket.Valid() && pair.sender(socket.Get(), setup);
    }
    int status = 1;
    const bool receiverGood = receiver > 0 && ::waitpid(receiver, &status, 0) == receiver && WIFEXITED(status)
        && WEXITSTATUS(status) == 0;
    const double seconds = BenchData::SecondsSince(start);
    if (!senderGood || !receiverGood) {
        std::fprintf(stderr, "loopback_ceiling: %.*s failed\n", static_cast<int>(pair.name.size()), pair.name.data());
        return 1;
    }
    std::printf("%.3f\n", BenchData::MegabytesPerSecond(setup.nSize, seconds));
    return 0;
}

} // namespace

// loopback_ceiling PAIR PATH [SIZE]: PATH is the file sent, or the file written for
// recv-write-4k (and removed afterwards); SIZE is the byte count the senders from memory send.
int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: loopback_ceiling sendfile|sendfile-4k|read-send-4k|recv-write-4k|recv-write-256k|splice-write|client-send PATH [SIZE]\n");
        return 2;
    }
    Setup setup{argv[2], argc > 3 ? std::atoll(argv[3]) : 0, BenchData::DeadlineIn(120)};
    for (const Pair& pair : kPairs) {
        if (pair.name == argv[1])
            return RunPair(pair, setup);
    }
    return 2;
}
