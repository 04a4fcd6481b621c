// Turns the "server metric value" lines of a benchmark run into one table: the median with
// min and max per server, the ratio ours/vsftpd, and whether ours meets its target. Metrics
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

struct Target {
    double fOfVsftpd = 0;                 // ours must reach this multiple of vsftpd (0: none)
    std::string_view ceilingMetric = {};  // or this multiple of a ceiling of ours
    double fOfCeiling = 0;
    double fAbsolute = 0;                 // and this absolute figure (0: none)
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
    {"stor_1g", "STOR 1 GiB", "MB/s", true, {0, "ceiling_recv_write_4k", 0.9}},
    {"sessions_1", "sessions, 1 client", "1/s", true, {5.0, {}, 0, 2000}},
    {"sessions_8", "sessions, 8 clients", "1/s", true, {5.0, {}, 0, 2000}},
    {"list_10k", "LIST 10,000 files", "ms", false, {0.7}},
    {"files_4k", "1,000 x 4 KiB RETR", "files/s", true, {2.0}},
    {"files_4k_delayed_ack", "100 x 4 KiB, delayed ACKs", "files/s", true, {}},
    {"idle_kib", "idle session memory", "KiB", false, {0, {}, 0, 128}},
    {"par50_aggregate", "50 x 20 MiB, aggregate", "MB/s", true, {1.0}},
    {"par50_slowest", "50 x 20 MiB, slowest", "MB/s", true, {}},
    {"burst_50", "50 connects at once, greeted", "of 50", true, {}},
    {"engine_retr_mibps", "engine alone: RETR", "MiB/s", true, {}},
    {"engine_stor_mibps", "engine alone: STOR", "MiB/s", true, {}},
    {"stop_200_ms", "Stop with 200 idle sessions", "ms", false, {}},
    {"log_rows_per_s", "window: log rows", "rows/s", true, {}},
    {"log_longest_stall_ms", "window: longest stall", "ms", false, {}},
    {"log_row_paint_us", "window: one more row", "us", false, {}},
    {"ceiling_sendfile", "ceiling: sendfile", "MB/s", true, {}},
    {"ceiling_sendfile_4k", "ceiling: sendfile 4 KiB", "MB/s", true, {}},
    {"ceiling_read_send_4k", "ceiling: read+send 4 KiB", "MB/s", true, {}},
    {"ceiling_recv_write_4k", "ceiling: recv+write 4 KiB", "MB/s", true, {}},
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
        return "missing";
    const Summary s = Summarise(*values);
    char text[96];
    std::snprintf(text, sizeof text, "%.1f [%.1f-%.1f] n=%zu", s.fMedian, s.fMin, s.fMax, s.nRuns);
    return text;
}

double Median(const std::vector<double>* values)
{
    return values && !values->empty() ? Summarise(*values).fMedian : -1;
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
    char part[96];
    if (target.fOfVsftpd > 0) {
        const double theirs = Median(Find(samples, metric.name, "vsftpd"));
        std::snprintf(part, sizeof part, "%s%.1fx vsftpd", relation, target.fOfVsftpd);
        text += part;
        known = known && theirs >= 0;
        if (known)
            check(target.fOfVsftpd * theirs);
    }
    if (!target.ceilingMetric.empty()) {
        const double ceiling = Median(Find(samples, target.ceilingMetric, "ceiling"));
        std::snprintf(part, sizeof part, "%s%.1fx %.*s", relation, target.fOfCeiling,
                      static_cast<int>(target.ceilingMetric.size()), target.ceilingMetric.data());
        text += part;
        known = known && ceiling >= 0;
        if (known)
            check(target.fOfCeiling * ceiling);
    }
    if (target.fAbsolute > 0) {
        std::snprintf(part, sizeof part, "%s%s%.0f", text.empty() ? "" : ", ", relation, target.fAbsolute);
        text += part;
        if (known)
            check(target.fAbsolute);
    }
    if (text.empty())
        return {"", ""};
    return {text, known ? (met ? "yes" : "NO") : "-"};
}

void PrintRow(std::string_view label, std::string_view unit, const std::vector<double>* ours,
              const std::vector<double>* theirs, const std::pair<std::string, std::string>& verdict)
{
    std::string ratio = "";
    const double oursMedian = Median(ours);
    const double theirMedian = Median(theirs);
    if (oursMedian >= 0 && theirMedian > 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", oursMedian / theirMedian);
        ratio = text;
    }
    std::printf("%-27.*s %-7.*s %-33s %-33s %-8s %-38s %s\n", static_cast<int>(label.size()), label.data(),
                static_cast<int>(unit.size()), unit.data(), Cell(ours).c_str(),
                theirs ? Cell(theirs).c_str() : "", ratio.c_str(), verdict.first.c_str(), verdict.second.c_str());
}

// How far a server's figure goes towards a ceiling measured in the same runs.
struct Share {
    std::string_view label;
    std::string_view metric;
    std::string_view server;
    std::string_view ceiling;
};

constexpr Share kShares[] = {
    {"ours RETR of the 4 KiB sendfile ceiling", "retr_1g", "ours", "ceiling_sendfile_4k"},
    {"vsftpd RETR of the whole-file sendfile ceiling", "retr_1g", "vsftpd", "ceiling_sendfile"},
    {"4 KiB sendfile steps of whole-file sendfile", "ceiling_sendfile_4k", "ceiling", "ceiling_sendfile"},
    {"ours STOR of the recv+write 4 KiB ceiling", "stor_1g", "ours", "ceiling_recv_write_4k"},
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
    std::printf("%-27s %-7s %-33s %-33s %-8s %-38s %s\n", "measure", "unit", "ours median [min-max]",
                "vsftpd median [min-max]", "ours/vs", "target for ours", "met");
    for (const Metric& metric : kMetrics) {
        const bool ceiling = metric.name.substr(0, 8) == "ceiling_";
        const std::vector<double>* ours = Find(samples, metric.name, ceiling ? "ceiling" : "ours");
        const std::vector<double>* theirs = ceiling ? nullptr : Find(samples, metric.name, "vsftpd");
        PrintRow(metric.label, metric.unit, ours, theirs, Judge(metric, samples));
    }
    for (const std::string& name : order) {
        const bool known = std::any_of(std::begin(kMetrics), std::end(kMetrics),
                                       [&](const Metric& metric) { return metric.name == name; });
        if (known)
            continue;
        for (const auto& [server, values] : samples[name])
            PrintRow(name + " (" + server + ")", "", &values, nullptr, {"", ""});
    }
    std::printf("\n");
    PrintShares(samples);
    return 0;
}
