// Download and upload throughput of one session on loopback, in passive mode.
// Usage: bench_transfer [MiB]            (default 1024, at most 8192)
//        bench_transfer serve SECONDS DIR (serves DIR on a loopback port for
//                                          at most SECONDS, for trying clients)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discarding_session_host.h"
#include "ftp_test_client.h"
#include "platform/event_loop.h"
#include "session_harness.h"
#include "temp_tree.h"

namespace {

// The whole run ends after two minutes, and with it every wait of the client.
constexpr int kClientDeadlineMs = 120000;

double MibPerSecond(int64_t bytes, std::chrono::steady_clock::duration elapsed)
{
    return bytes / 1048576.0 / std::chrono::duration<double>(elapsed).count();
}

// The bytes of one transfer in 64 KiB pieces, as a simple client sends them.
int64_t SendBlocks(int data, int64_t nBytes, CTestSocket::Deadline deadline)
{
    const std::vector<char> buffer(1 << 16);
    int64_t sent = 0;
    while (sent < nBytes) {
        const int64_t piece = std::min<int64_t>(static_cast<int64_t>(buffer.size()), nBytes - sent);
        if (!CTestSocket::WriteAll(data, buffer.data(), piece, deadline, CTestSocket::Wait::Block))
            break;
        sent += piece;
    }
    return sent;
}

void RunClient(uint16_t port, int64_t nBytes)
{
    const CTestSocket::Deadline deadline = CTestSocket::DeadlineIn(kClientDeadlineMs);
    CFtpTestClient client(CTestSocket::Wait::Block, kClientDeadlineMs);
    client.Connect(port);
    client.ReadLine();
    client.Command("USER anonymous");
    client.Command("PASS bench");

    CUniqueSocket data = client.OpenPassive();
    auto start = std::chrono::steady_clock::now();
    client.Command("RETR big");
    const int64_t received = std::max<int64_t>(CTestSocket::ReadToEnd(data.Get(), deadline, CTestSocket::Wait::Block), 0);
    data.Reset();
    const std::string retrDone = client.ReadLine();
    std::printf("RETR %lld bytes: %.0f MiB/s (%s)\n", static_cast<long long>(received),
                MibPerSecond(received, std::chrono::steady_clock::now() - start), retrDone.substr(0, 3).c_str());

    data = client.OpenPassive();
    start = std::chrono::steady_clock::now();
    client.Command("STOR up");
    const int64_t sent = SendBlocks(data.Get(), nBytes, deadline);
    data.Reset();
    const std::string storDone = client.ReadLine();
    std::printf("STOR %lld bytes: %.0f MiB/s (%s)\n", static_cast<long long>(sent),
                MibPerSecond(sent, std::chrono::steady_clock::now() - start), storDone.substr(0, 3).c_str());
    client.Command("QUIT");
}

} // namespace

int main(int argc, char* argv[])
{
    CEventLoop loop;
    if (argc == 4 && std::strcmp(argv[1], "serve") == 0) {
        const int seconds = std::clamp(std::atoi(argv[2]), 1, 600);
        CSessionHarness listener(std::make_shared<CDiscardingSessionHost>(argv[3]));
        std::printf("serving %s on 127.0.0.1:%u for %d s\n", argv[3], listener.Port(), seconds);
        std::fflush(stdout);
        loop.StartTimer(seconds * 1000, [&loop] { loop.Quit(); });
        loop.Run();
        return 0;
    }
    const int64_t nMib = std::clamp<int64_t>(argc > 1 ? std::atoll(argv[1]) : 1024, 1, 8192);
    CTempTree root;
    if (!root.MakeSparseFile("big", nMib << 20))
        return 1;
    CSessionHarness listener(std::make_shared<CDiscardingSessionHost>(root.Root()));
    std::thread client([&] {
        RunClient(listener.Port(), nMib << 20);
        loop.Post([&loop] { loop.Quit(); });
    });
    loop.StartTimer(kClientDeadlineMs, [&loop] { loop.Quit(); });
    loop.Run();
    client.join();
    return 0;
}
