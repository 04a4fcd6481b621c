#include "proc_memory.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace BenchProc {

namespace {

// The parent pid is the fourth field of /proc/PID/stat; the name before it may hold blanks,
// so the fields are read from after the closing parenthesis.
int ParentOf(const std::string& pid)
{
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    int parent = -1;
    fields >> state >> parent;
    return parent;
}

std::int64_t FieldKiB(const std::string& path, const std::string& name)
{
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (line.compare(0, name.size(), name) == 0)
            return std::atoll(line.c_str() + name.size());
    }
    return 0;
}

} // namespace

std::vector<int> ProcessTree(int rootPid)
{
    std::multimap<int, int> children;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        children.emplace(ParentOf(name), std::atoi(name.c_str()));
    }
    std::vector<int> tree{rootPid};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const auto [first, last] = children.equal_range(tree[i]);
        for (auto it = first; it != last; ++it)
            tree.push_back(it->second);
    }
    return tree;
}

MemoryFigures MeasureTree(int rootPid)
{
    MemoryFigures figures;
    for (const int pid : ProcessTree(rootPid)) {
        const std::string base = "/proc/" + std::to_string(pid);
        figures.nPssKiB += FieldKiB(base + "/smaps_rollup", "Pss:");
        figures.nRssKiB += FieldKiB(base + "/status", "VmRSS:");
        ++figures.nProcesses;
    }
    return figures;
}

double CpuSecondsOfTree(int rootPid)
{
    long long ticks = 0;
    for (const int pid : ProcessTree(rootPid)) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        // The fields after the command name, which may hold spaces, start after its ')'.
        std::istringstream fields(line.substr(line.rfind(')') + 1));
        std::string field;
        long long utime = 0;
        long long stime = 0;
        for (int index = 3; index < 14 && fields >> field; ++index) {
        }
        if (fields >> utime >> stime)
            ticks += utime + stime;
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace BenchProc
