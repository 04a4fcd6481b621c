// How long Stop takes to end a session in the middle of a 1 GiB download and of a 1 GiB
// upload: the server control runs on loopback, one client moves 64 MiB of the file, then
// Stop is timed until that client sees its control connection end. Bounded: a deadline of
// a minute per direction.

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "null_server_view.h"
#include "platform/event_loop.h"
#include "server/server_control.h"
#include "support/data_pump.h"
#include "temp_tree.h"

namespace {

using BenchData::Clock;
constexpr std::int64_t kFileSize = std::int64_t(1) << 30;
constexpr std::int64_t kBeforeStop = 64 << 20;


// The client side of one direction: moves kBeforeStop bytes, says so, then keeps the
// transfer going until the control connection ends, and notes when.
void RunClient(int port, bool bUpload, std::atomic<bool>& bMoved, std::atomic<Clock::rep>& ended)
{
    const auto deadline = BenchData::DeadlineIn(60);
    CFtpTestClient client(BenchData::kBlock);
    CUniqueSocket data;
    if (BenchData::OpenClient(client, port, deadline) && BenchData::LogIn(client, deadline))
        data = client.OpenPassive(deadline);
    if (!data.Valid() || !client.SendLine(bUpload ? "STOR stop.bin" : "RETR big.bin")
        || client.ReadReply(deadline) != 150) {
        std::fprintf(stderr, "bench_stop_transfer: no transfer: %s\n", client.LastReply().c_str());
        bMoved = true;
        return;
    }
    if (bUpload)
        BenchData::SendPattern(data.Get(), kBeforeStop, deadline);
    else
        CTestSocket::ReadAtLeast(data.Get(), kBeforeStop, deadline, BenchData::kBlock);
    bMoved = true;
    if (!bUpload)
        BenchData::DrainUntilReadable(data.Get(), client.Handle(), deadline);
    while (client.ReadReply(deadline) >= 0) {
    }
    ended = Clock::now().time_since_epoch().count();
}

// Milliseconds from Stop to the client's seeing its session end, or -1.
double StopDuring(CServerControl& server, bool bUpload)
{
    server.StartServer();
    std::atomic<bool> bMoved{false};
    std::atomic<Clock::rep> ended{0};
    std::jthread client(RunClient, server.ListeningPort(), bUpload, std::ref(bMoved), std::ref(ended));
    CEventLoop::Current().WaitUntil([&] { return bMoved.load(); }, 60000);
    const auto start = Clock::now();
    server.StopServer();
    CEventLoop::Current().WaitUntil([&] { return ended.load() != 0; }, 10000);
    client.join();
    if (ended == 0)
        return -1;
    return std::chrono::duration<double, std::milli>(Clock::duration(ended.load()) - start.time_since_epoch()).count();
}

} // namespace

int main()
{
    CEventLoop loop;
    CTempTree root;
    if (!root.MakeSparseFile("big.bin", kFileSize))
        return 1;
    auto settings = std::make_shared<CServerSettings>();
    SettingsValues values = settings->Values();
    values.HomeDirectory = root.Root();
    values.AllowUpload = 1;
    settings->SetValues(values);
    CNullServerView view;
    CServerControl server(&view, settings, 0, "127.0.0.1");
    const double retr = StopDuring(server, false);
    const double stor = StopDuring(server, true);
    std::printf("Stop during RETR, to the client's end of session: %.1f ms\n"
                "Stop during STOR, to the client's end of session: %.1f ms\n",
                retr, stor);
    return retr >= 0 && stor >= 0 ? 0 : 1;
}
