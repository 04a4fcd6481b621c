// Turns the "server metric value" lines of a benchmark run into one table: ours with median,
// min and max, each peer server's median, ours as a share of the best peer on that figure
// (the fastest, or the cheapest where lower is better), and whether ours meets its target. Metrics
// it does not know (other benchmarks' figures) are listed after the known ones, untargeted.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The peer servers, each a column, in the order of the table.
constexpr std::string_view kPeers[] = {"vsftpd", "pure-ftpd", "proftpd", "pyftpdlib"};

struct Target {
    double fOfBest = 0;                 // ours against the best peer's median (0: none)
    double fAbsolute = 0;               // an absolute bound for ours (0: none)
    std::string_view oursMetric = {};   // or a multiple of another figure of ours
    double fOfOurs = 0;
};

struct Metric {
    std::string_view name;
    std::string_view label;
    std::string_view unit;
    bool bHigherIsBetter;
    Target target;
};

constexpr Metric kMetrics[] = {
    {"retr_1g", "RETR 1 GiB", "MB/s", true, {1.0}},
    {"stor_1g", "STOR 1 GiB", "MB/s", true, {1.0}},
    {"par50_aggregate", "50 x 20 MiB, aggregate", "MB/s", true, {1.0}},
    {"par50_slowest", "50 x 20 MiB, slowest", "MB/s", true, {}},
    {"par50one_aggregate", "50 x one 20 MiB, aggregate", "MB/s", true, {1.0}},
    {"par50one_slowest", "50 x one 20 MiB, slowest", "MB/s", true, {}},
    {"cpu_retr_ms_per_gib", "server CPU per GiB, RETR", "ms", false, {1.0}},
    {"cpu_stor_ms_per_gib", "server CPU per GiB, STOR", "ms", false, {1.0}},
    {"list_10k", "LIST 10,000 files", "ms", false, {0.8}},
    {"list_100k", "LIST 100,000 files", "ms", false, {0, 0, "list_10k", 10.5}},
    {"files_4k", "1,000 x 4 KiB RETR", "files/s", true, {1.2}},
    {"files_4k_delayed_ack", "100 x 4 KiB, delayed ACKs", "files/s", true, {}},
    {"sessions_1", "sessions, 1 client", "1/s", true, {1.0}},
    {"sessions_8", "sessions, 8 clients", "1/s", true, {1.0}},
    {"abort_retr_ms", "ABOR to reply, 1 GiB RETR", "ms", false, {0, 50}},
    {"abort_stor_ms", "ABOR to reply, 1 GiB STOR", "ms", false, {0, 50}},
    {"stop_retr_ms", "Stop to end, 1 GiB RETR", "ms", false, {0, 50}},
    {"stop_stor_ms", "Stop to end, 1 GiB STOR", "ms", false, {0, 50}},
    {"idle_kib", "idle session memory", "KiB", false, {0, 128}},
    {"burst_50", "50 connects at once, greeted", "of 50", true, {}},
    {"engine_retr_mibps", "engine alone: RETR", "MiB/s", true, {}},
    {"engine_stor_mibps", "engine alone: STOR", "MiB/s", true, {}},
    {"stop_200_ms", "Stop with 200 idle sessions", "ms", false, {}},
    {"log_rows_per_s", "window: log rows", "rows/s", true, {0, 200000}},
    {"log_longest_stall_ms", "window: longest stall", "ms", false, {0, 100}},
    {"log_row_paint_us", "window: one more row", "us", false, {}},
    {"log_row_bytes", "window: bytes per row at 1M rows", "B", false, {0, 64}},
    {"log_open_last_ms", "window: open at row 1M", "ms", false, {}},
    {"crowd_sessions_held", "sessions held, soft limit 1024", "of 9000", true, {0, 9000}},
    {"crowd_idle_kib", "idle session memory at 9,000", "KiB", false, {0, 16}},
    {"crowd_fresh_noop_ms", "fresh login+NOOP among 9,000", "ms", false, {0, 50}},
    {"crowd_quit_ms", "9,000 QUIT at once, all closed", "ms", false, {}},
    {"crowd_rss_start_mib", "resident at start", "MiB", false, {}},
    {"crowd_rss_growth_mib", "resident growth after the crowd", "MiB", false, {0, 24}},
    {"ceiling_sendfile", "ceiling: sendfile", "MB/s", true, {}},
    {"ceiling_sendfile_4k", "ceiling: sendfile 4 KiB", "MB/s", true, {}},
    {"ceiling_read_send_4k", "ceiling: read+send 4 KiB", "MB/s", true, {}},
    {"ceiling_recv_write_4k", "ceiling: recv+write 4 KiB", "MB/s", true, {}},
    {"ceiling_recv_write_256k", "ceiling: recv+write 256 KiB", "MB/s", true, {}},
    {"ceiling_splice_write", "ceiling: splice via pipe", "MB/s", true, {}},
    {"ceiling_client_send", "ceiling: client send", "MB/s", true, {}},
};

struct Summary {
    double fMedian = 0;
    double fMin = 0;
    double fMax = 0;
    std::size_t nRuns = 0;
};

using Samples = std::map<std::string, std::map<std::string, std::vector<double>>>;  // metric -> server -> values

Summary Summarise(std::vector<double> values)
{
    Summary summary;
    summary.nRuns = values.size();
    if (values.empty())
        return summary;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    summary.fMedian = values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    summary.fMin = values.front();
    summary.fMax = values.back();
    return summary;
}

const std::vector<double>* Find(const Samples& samples, std::string_view metric, std::string_view server)
{
    const auto byMetric = samples.find(std::string(metric));
    if (byMetric == samples.end())
        return nullptr;
    const auto byServer = byMetric->second.find(std::string(server));
    return byServer == byMetric->second.end() ? nullptr : &byServer->second;
}

std::string Cell(const std::vector<double>* values)
{
    if (!values || values->empty())
        return "-";
    const Summary summary = Summarise(*values);
    char text[96];
    std::snprintf(text, sizeof text, "%.1f [%.1f-%.1f] n=%zu", summary.fMedian, summary.fMin, summary.fMax,
                  summary.nRuns);
    return text;
}

double Median(const std::vector<double>* values)
{
    return values && !values->empty() ? Summarise(*values).fMedian : -1;
}

std::string Number(double value)
{
    if (value < 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// The median of the peer that does best on this figure in these runs, or -1.
double BestPeer(const Metric& metric, const Samples& samples)
{
    double best = -1;
    for (std::string_view peer : kPeers) {
        const double value = Median(Find(samples, metric.name, peer));
        if (value >= 0 && (best < 0 || (metric.bHigherIsBetter ? value > best : value < best)))
            best = value;
    }
    return best;
}

// The target as text and whether the median of ours meets it ("-" when it cannot be told).
std::pair<std::string, std::string> Judge(const Metric& metric, const Samples& samples)
{
    const Target& target = metric.target;
    const double ours = Median(Find(samples, metric.name, "ours"));
    std::string text;
    bool met = true;
    bool known = ours >= 0;
    const char* relation = metric.bHigherIsBetter ? ">=" : "<=";
    auto check = [&](double bound) { met = met && (metric.bHigherIsBetter ? ours >= bound : ours <= bound); };
    auto add = [&](const char* format, double factor, std::string_view what, double bound) {
        char part[96];
        std::snprintf(part, sizeof part, format, text.empty() ? "" : ", ", relation, factor,
                      static_cast<int>(what.size()), what.data());
        text += part;
        known = known && bound >= 0;
        if (known)
            check(bound);
    };
    if (target.fOfBest > 0)
        add("%s%s%.1fx %.*s", target.fOfBest, "best peer", target.fOfBest * BestPeer(metric, samples));
    if (!target.oursMetric.empty()) {
        const double base = Median(Find(samples, target.oursMetric, "ours"));
        add("%s%s%.1fx ours %.*s", target.fOfOurs, target.oursMetric, base < 0 ? -1 : target.fOfOurs * base);
    }
    if (target.fAbsolute > 0)
        add("%s%s%.0f%.*s", target.fAbsolute, "", target.fAbsolute);
    if (text.empty())
        return {"", ""};
    return {text, known ? (met ? "yes" : "NO") : "-"};
}

void PrintRow(const Metric& metric, const Samples& samples)
{
    const bool ceiling = metric.name.substr(0, 8) == "ceiling_";
    const std::vector<double>* ours = Find(samples, metric.name, ceiling ? "ceiling" : "ours");
    if (!ours && std::none_of(std::begin(kPeers), std::end(kPeers),
                              [&](std::string_view peer) { return Find(samples, metric.name, peer); }))
        return;
    const double best = BestPeer(metric, samples);
    const double oursMedian = Median(ours);
    char ratio[32] = "";
    if (best > 0 && oursMedian >= 0)
        std::snprintf(ratio, sizeof ratio, "%.2f", oursMedian / best);
    const auto [target, met] = Judge(metric, samples);
    std::printf("%-28.*s %-7.*s %-31s", static_cast<int>(metric.label.size()), metric.label.data(),
                static_cast<int>(metric.unit.size()), metric.unit.data(), Cell(ours).c_str());
    for (std::string_view peer : kPeers)
        std::printf(" %-10s", Number(Median(Find(samples, metric.name, peer))).c_str());
    std::printf(" %-9s %-34s %s\n", ratio, target.c_str(), met.c_str());
}

void PrintHeading()
{
    std::printf("%-28s %-7s %-31s", "measure", "unit", "ours median [min-max] n");
    for (std::string_view peer : kPeers)
        std::printf(" %-10.*s", static_cast<int>(peer.size()), peer.data());
    std::printf(" %-9s %-34s %s\n", "ours/best", "target for ours", "met");
}

// How far a server's figure goes towards a ceiling measured in the same runs.
struct Share {
    std::string_view label;
    std::string_view metric;
    std::string_view server;
    std::string_view ceiling;
};

constexpr Share kShares[] = {
    {"ours RETR of the whole-file sendfile ceiling", "retr_1g", "ours", "ceiling_sendfile"},
    {"vsftpd RETR of the whole-file sendfile ceiling", "retr_1g", "vsftpd", "ceiling_sendfile"},
    {"ours STOR of the recv+write 256 KiB ceiling", "stor_1g", "ours", "ceiling_recv_write_256k"},
    {"vsftpd STOR of the recv+write 256 KiB ceiling", "stor_1g", "vsftpd", "ceiling_recv_write_256k"},
};

void PrintShares(const Samples& samples)
{
    for (const Share& share : kShares) {
        const double figure = Median(Find(samples, share.metric, share.server));
        const double ceiling = Median(Find(samples, share.ceiling, "ceiling"));
        if (figure < 0 || ceiling <= 0)
            continue;
        std::printf("%.*s: %.2f\n", static_cast<int>(share.label.size()), share.label.data(), figure / ceiling);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_report RESULTS\n");
        return 2;
    }
    std::ifstream input(argv[1]);
    Samples samples;
    std::vector<std::string> order;
    std::string line;
    while (std::getline(input, line)) {
        std::istringstream fields(line);
        std::string server;
        std::string metric;
        double value = 0;
        if (!(fields >> server >> metric >> value))
            continue;
        if (samples.find(metric) == samples.end())
            order.push_back(metric);
        samples[metric][server].push_back(value);
    }
    PrintHeading();
    for (const Metric& metric : kMetrics)
        PrintRow(metric, samples);
    for (const std::string& name : order) {
        const bool known = std::any_of(std::begin(kMetrics), std::end(kMetrics),
                                       [&](const Metric& metric) { return metric.name == name; });
        if (known)
            continue;
        for (const auto& [server, values] : samples[name])
            std::printf("%-28s %-7s %s\n", (name + " (" + server + ")").c_str(), "", Cell(&values).c_str());
    }
    std::printf("\n");
    PrintShares(samples);
    return 0;
}
