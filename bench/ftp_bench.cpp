// The benchmark client: drives one FTP server on 127.0.0.1 through one measurement and
// prints "name value" lines. Plain blocking sockets, passive mode, 1 MiB buffers, one thread
// per parallel client; every wait has a deadline and every loop a count or time bound.
#include "support/data_pump.h"
#include "support/proc_memory.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <latch>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using BenchData::Clock;

namespace {

struct Options {
    std::map<std::string, std::string, std::less<>> values;

    std::string Text(std::string_view key, std::string_view fallback = {}) const
    {
        const auto it = values.find(key);
        return it == values.end() ? std::string(fallback) : it->second;
    }
    long long Number(std::string_view key, long long fallback) const
    {
        const auto it = values.find(key);
        return it == values.end() ? fallback : std::atoll(it->second.c_str());
    }
    int Port() const { return static_cast<int>(Number("port", 21)); }
    std::string Name(std::string_view fallback) const { return Text("name", fallback); }
};

void Report(const std::string& name, double value)
{
    std::printf("%s %.3f\n", name.c_str(), value);
    std::fflush(stdout);
}

int Fail(const char* what, const CFtpTestClient* client = nullptr)
{
    std::fprintf(stderr, "ftp_bench: %s%s%s\n", what, client ? ": " : "",
                 client ? client->LastReply().c_str() : "");
    return 1;
}

bool OpenSession(CFtpTestClient& client, const Options& options, Clock::time_point deadline)
{
    return BenchData::OpenClient(client, options.Port(), deadline) && BenchData::LogIn(client, deadline);
}

std::int64_t Complain(const char* step, const std::string& path, const CFtpTestClient& client)
{
    std::fprintf(stderr, "ftp_bench: %s of %s failed: %s\n", step, path.c_str(), client.LastReply().c_str());
    return -1;
}

// With --pid, the server's CPU time for one transfer, reported per GiB moved. Read while the
// session still lives, so that a server with a process per session is measured the same way
// as one with a thread per session.
class CServerCpu {
public:
    explicit CServerCpu(const Options& options) : m_nPid(static_cast<int>(options.Number("pid", 0)))
    {
        m_fStart = m_nPid > 0 ? BenchProc::CpuSecondsOfTree(m_nPid) : 0;
    }
    void Report(const std::string& name, std::int64_t bytes) const
    {
        if (m_nPid <= 0 || bytes <= 0)
            return;
        const double seconds = BenchProc::CpuSecondsOfTree(m_nPid) - m_fStart;
        ::Report(name, seconds * 1000 * static_cast<double>(std::int64_t(1) << 30) / static_cast<double>(bytes));
    }

private:
    int m_nPid;
    double m_fStart;
};

// Downloads one file on an open session: the byte count, or -1.
std::int64_t Download(CFtpTestClient& client, const std::string& path, Clock::time_point deadline)
{
    CUniqueSocket data = client.OpenPassive(deadline);
    if (!data.Valid())
        return Complain("PASV or data connect", path, client);
    if (!client.SendLine("RETR " + path))
        return Complain("RETR send", path, client);
    const int start = client.ReadReply(deadline);
    if (start != 150 && start != 125)
        return Complain("RETR start", path, client);
    const std::int64_t bytes = CTestSocket::ReadToEnd(data.Get(), deadline, BenchData::kBlock, nullptr, client.QuickAck());
    if (client.ReadReply(deadline) != 226)
        return Complain("RETR end", path, client);
    return bytes;
}

int RunRetr(const Options& options)
{
    const auto deadline = BenchData::DeadlineIn(120);
    const std::int64_t expected = options.Number("size", 0);
    CFtpTestClient client(BenchData::kBlock);
    if (!OpenSession(client, options, deadline))
        return Fail("login", &client);
    const CServerCpu cpu(options);
    const auto start = Clock::now();
    const std::int64_t bytes = Download(client, options.Text("file"), deadline);
    const double seconds = BenchData::SecondsSince(start);
    if (bytes != expected)
        return Fail("RETR size", &client);
    Report(options.Name("retr"), BenchData::MegabytesPerSecond(bytes, seconds));
    cpu.Report("cpu_retr_ms_per_gib", bytes);
    client.Quit(BenchData::DeadlineIn(5));
    return 0;
}

int RunStor(const Options& options)
{
    const auto deadline = BenchData::DeadlineIn(120);
    const std::int64_t size = options.Number("size", 0);
    CFtpTestClient client(BenchData::kBlock);
    if (!OpenSession(client, options, deadline))
        return Fail("login", &client);
    CUniqueSocket data = client.OpenPassive(deadline);
    if (!data.Valid())
        return Fail("PASV", &client);
    const CServerCpu cpu(options);
    const auto start = Clock::now();
    if (!client.SendLine("STOR " + options.Text("file")))
        return Fail("STOR send");
    const int opened = client.ReadReply(deadline);
    if (opened != 150 && opened != 125)
        return Fail("STOR refused", &client);
    if (!BenchData::SendPattern(data.Get(), size, deadline))
        return Fail("STOR data");
    data.Reset();
    // The server's 226 comes after its last write, so the time covers the whole store.
    if (client.ReadReply(deadline) != 226)
        return Fail("STOR end", &client);
    Report(options.Name("stor"), BenchData::MegabytesPerSecond(size, BenchData::SecondsSince(start)));
    cpu.Report("cpu_stor_ms_per_gib", size);
    client.Quit(BenchData::DeadlineIn(5));
    return 0;
}

int RunList(const Options& options)
{
    const auto deadline = BenchData::DeadlineIn(60);
    const long long expected = options.Number("expect", -1);
    CFtpTestClient client(BenchData::kBlock);
    if (!OpenSession(client, options, deadline))
        return Fail("login", &client);
    const std::string dir = options.Text("dir");
    CUniqueSocket data = client.OpenPassive(deadline);
    if (!data.Valid())
        return Fail("PASV", &client);
    const auto start = Clock::now();
    if (!client.SendLine("LIST " + dir))
        return Fail("LIST send");
    const int opened = client.ReadReply(deadline);
    if (opened != 150 && opened != 125)
        return Fail("LIST refused", &client);
    // Lines are counted once the listing is in, outside the timed part. A server that
    // gathers a large listing before its first byte may take long; only the deadline ends
    // the wait.
    std::string listing;
    CTestSocket::ReadToEnd(data.Get(), deadline, BenchData::kBlock, &listing);
    if (client.ReadReply(deadline) != 226)
        return Fail("LIST end", &client);
    const double milliseconds = BenchData::SecondsSince(start) * 1000;
    const long long lines = std::count(listing.begin(), listing.end(), '\n');
    if (expected >= 0 && lines != expected) {
        std::fprintf(stderr, "ftp_bench: LIST gave %lld lines, expected %lld\n", lines, expected);
        return 1;
    }
    Report(options.Name("list"), milliseconds);
    client.Quit(BenchData::DeadlineIn(5));
    return 0;
}

int RunSmallFiles(const Options& options)
{
    const auto deadline = BenchData::DeadlineIn(120);
    const long long count = options.Number("count", 1000);
    const std::int64_t size = options.Number("size", 4096);
    const std::string dir = options.Text("dir");
    CFtpTestClient client(BenchData::kBlock);
    if (!OpenSession(client, options, deadline))
        return Fail("login", &client);
    client.SetQuickAck(options.Number("quickack", 1) != 0);
    const auto start = Clock::now();
    for (long long i = 0; i < count; ++i) {
        if (Download(client, dir + "/s" + std::to_string(i) + ".bin", deadline) != size)
            return Fail("small RETR", &client);
    }
    Report(options.Name("small"), static_cast<double>(count) / BenchData::SecondsSince(start));
    client.Quit(BenchData::DeadlineIn(5));
    return 0;
}

// Logs in and out as fast as the server lets it, from several clients at once.
int RunSessions(const Options& options)
{
    const int clients = static_cast<int>(options.Number("clients", 1));
    const double seconds = static_cast<double>(options.Number("millis", 2000)) / 1000;
    const long long perClientLimit = options.Number("limit", 100000);
    std::atomic<long long> done{0};
    std::atomic<long long> failed{0};
    const auto start = Clock::now();
    const auto stop = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::jthread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&] {
            for (long long n = 0; n < perClientLimit && Clock::now() < stop && failed < 100; ++n) {
                CFtpTestClient client(BenchData::kBlock);
                const auto deadline = BenchData::DeadlineIn(10);
                if (BenchData::OpenClient(client, options.Port(), deadline)
                    && client.CommandCode("USER anonymous", deadline) == 331
                    && client.CommandCode("PASS bench@localhost", deadline) == 230 && client.Quit(deadline))
                    ++done;
                else
                    ++failed;
            }
        });
    }
    threads.clear();
    const double elapsed = BenchData::SecondsSince(start);
    if (failed > 0)
        std::fprintf(stderr, "ftp_bench: %lld sessions failed\n", failed.load());
    if (failed >= 100 || done == 0)
        return Fail("sessions");
    Report(options.Name("sessions"), static_cast<double>(done) / elapsed);
    return 0;
}

// Memory that each idle, logged-in session adds to the server.
int RunIdle(const Options& options)
{
    const int sessions = static_cast<int>(options.Number("sessions", 200));
    const int pid = static_cast<int>(options.Number("pid", 0));
    if (pid <= 0)
        return Fail("idle needs the server's --pid");
    const auto deadline = BenchData::DeadlineIn(60);
    {
        // First use may set up things once per server; they are no session's cost.
        CFtpTestClient warmUp(BenchData::kBlock);
        if (!OpenSession(warmUp, options, deadline) || !warmUp.Quit(deadline))
            return Fail("warm-up", &warmUp);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const BenchProc::MemoryFigures before = BenchProc::MeasureTree(pid);
    std::vector<std::unique_ptr<CFtpTestClient>> clients;
    for (int i = 0; i < sessions; ++i) {
        clients.push_back(std::make_unique<CFtpTestClient>(BenchData::kBlock));
        if (!OpenSession(*clients.back(), options, deadline))
            return Fail("idle login", clients.back().get());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const BenchProc::MemoryFigures after = BenchProc::MeasureTree(pid);
    std::fprintf(stderr, "ftp_bench: idle: %d -> %d processes, PSS %lld -> %lld KiB, RSS %lld -> %lld KiB\n",
                 before.nProcesses, after.nProcesses, static_cast<long long>(before.nPssKiB),
                 static_cast<long long>(after.nPssKiB), static_cast<long long>(before.nRssKiB),
                 static_cast<long long>(after.nRssKiB));
    Report(options.Name("idle"), static_cast<double>(after.nPssKiB - before.nPssKiB) / sessions);
    const auto quitDeadline = BenchData::DeadlineIn(30);
    for (auto& client : clients)
        client->Quit(quitDeadline);
    return 0;
}

// Many clients log in, then all download at the same moment: a file of their own each
// (--dir), or all the same one (--file), as visitors of one shared folder do.
int RunParallel(const Options& options)
{
    const int clients = static_cast<int>(options.Number("clients", 50));
    const std::int64_t size = options.Number("size", 0);
    const std::string dir = options.Text("dir");
    const std::string file = options.Text("file");
    const auto fileOf = [&](int i) { return file.empty() ? dir + "/p" + std::to_string(i) + ".bin" : file; };
    const auto loginDeadline = BenchData::DeadlineIn(40);
    const auto deadline = BenchData::DeadlineIn(100);
    std::latch ready(clients);
    // Logins take turns: what is timed is the downloads running together, and a burst of
    // connects has a measure of its own.
    std::mutex loginTurn;
    std::atomic<bool> allGood{true};
    std::vector<Clock::time_point> begins(static_cast<std::size_t>(clients));
    std::vector<Clock::time_point> ends(static_cast<std::size_t>(clients));
    std::vector<std::jthread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            CFtpTestClient client(BenchData::kBlock);
            bool loggedIn = false;
            {
                const std::lock_guard turn(loginTurn);
                loggedIn = OpenSession(client, options, loginDeadline);
            }
            ready.arrive_and_wait();
            begins[static_cast<std::size_t>(i)] = Clock::now();
            const std::int64_t bytes = loggedIn ? Download(client, fileOf(i), deadline) : -1;
            if (bytes != size) {
                std::fprintf(stderr, "ftp_bench: parallel client %d: %s, %lld bytes, last reply %s\n", i,
                             loggedIn ? "download failed" : "login failed", static_cast<long long>(bytes),
                             client.LastReply().c_str());
                allGood = false;
                return;
            }
            ends[static_cast<std::size_t>(i)] = Clock::now();
            client.Quit(BenchData::DeadlineIn(10));
        });
    }
    threads.clear();
    if (!allGood)
        return Fail("parallel downloads");
    double slowest = 0;
    for (std::size_t i = 0; i < begins.size(); ++i)
        slowest = std::max(slowest, std::chrono::duration<double>(ends[i] - begins[i]).count());
    const double span = std::chrono::duration<double>(*std::max_element(ends.begin(), ends.end())
                                                      - *std::min_element(begins.begin(), begins.end())).count();
    const std::string name = options.Name("parallel");
    Report(name + "_aggregate", BenchData::MegabytesPerSecond(size * clients, span));
    Report(name + "_slowest", BenchData::MegabytesPerSecond(size, slowest));
    return 0;
}

// Many clients connect at the same moment: how many are greeted within the time limit. A
// server whose accept queue overflows under SYN cookies leaves the rest waiting for a
// greeting that never comes, since in FTP the server speaks first.
int RunBurst(const Options& options)
{
    const int clients = static_cast<int>(options.Number("clients", 50));
    const auto deadline = BenchData::DeadlineIn(static_cast<double>(options.Number("millis", 3000)) / 1000);
    std::latch ready(clients);
    std::atomic<int> greeted{0};
    std::vector<std::jthread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&] {
            ready.arrive_and_wait();
            CFtpTestClient client(BenchData::kBlock);
            if (BenchData::OpenClient(client, options.Port(), deadline)) {
                ++greeted;
                client.Quit(BenchData::DeadlineIn(5));
            }
        });
    }
    threads.clear();
    Report(options.Name("burst"), greeted.load());
    return 0;
}

// Starts a long RETR or STOR, moves some of it, then sends ABOR the way interactive clients
// do (Telnet IP, the urgent mark, then the command) and times until the 2xx that closes
// the exchange. A download keeps being read meanwhile, so only the server's own reaction
// is timed, not a full socket.
int RunAbort(const Options& options)
{
    // Some servers read their control connection only between transfers: they answer
    // when the transfer is over, and get no figure.
    const auto deadline = BenchData::DeadlineIn(20);
    const bool bUpload = options.Text("direction", "retr") == "stor";
    const std::int64_t before = options.Number("after", 64 << 20);
    CFtpTestClient client(BenchData::kBlock);
    if (!OpenSession(client, options, deadline))
        return Fail("login", &client);
    CUniqueSocket data = client.OpenPassive(deadline);
    if (!data.Valid() || !client.SendLine((bUpload ? "STOR " : "RETR ") + options.Text("file")))
        return Fail("abort: PASV or send", &client);
    const int opened = client.ReadReply(deadline);
    if (opened != 150 && opened != 125)
        return Fail("abort: transfer refused", &client);
    const bool bMoved = bUpload ? BenchData::SendPattern(data.Get(), before, deadline)
                                : CTestSocket::ReadAtLeast(data.Get(), before, deadline, BenchData::kBlock);
    if (!bMoved)
        return Fail("abort: transfer before ABOR");
    const int control = client.Handle();
    const auto start = Clock::now();
    ::send(control, "\xff\xf4\xff", 3, MSG_OOB | MSG_NOSIGNAL);
    if (!client.SendLine("\xf2" "ABOR"))
        return Fail("abort: ABOR send");
    int reply = 0;
    while (Clock::now() < deadline && (reply < 200 || reply >= 300)) {
        if (!bUpload)
            BenchData::DrainUntilReadable(data.Get(), control, deadline);
        reply = client.ReadReply(deadline);
        if (reply < 0)
            return Fail("abort: no reply", &client);
    }
    Report(options.Name("abort"), BenchData::SecondsSince(start) * 1000);
    data.Reset();
    client.Quit(BenchData::DeadlineIn(5));
    return 0;
}

int RunMakeFiles(const Options& options)
{
    const std::string dir = options.Text("dir");
    const long long count = options.Number("count", 1);
    const std::int64_t size = options.Number("size", 0);
    const std::string prefix = options.Text("prefix", "f");
    for (long long i = 0; i < count; ++i) {
        if (!BenchData::MakeFile(dir + "/" + prefix + std::to_string(i) + ".bin", size))
            return Fail("make files");
    }
    return 0;
}

struct Mode {
    std::string_view name;
    int (*run)(const Options&);
};

constexpr Mode kModes[] = {
    {"retr", RunRetr},         {"stor", RunStor},           {"list", RunList},
    {"small", RunSmallFiles},  {"sessions", RunSessions},   {"idle", RunIdle},
    {"parallel", RunParallel}, {"burst", RunBurst},         {"abort", RunAbort},
    {"make-files", RunMakeFiles},
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: ftp_bench MODE [--key value]...\n");
        return 2;
    }
    Options options;
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string_view key = argv[i];
        if (key.substr(0, 2) == "--")
            key.remove_prefix(2);
        options.values[std::string(key)] = argv[i + 1];
    }
    for (const Mode& mode : kModes) {
        if (mode.name == argv[1])
            return mode.run(options);
    }
    std::fprintf(stderr, "ftp_bench: unknown mode %s\n", argv[1]);
    return 2;
}
