#pragma once

#include <cstdint>
#include <vector>

// Memory and CPU time of a server as the kernel accounts them: a process and every process below it, so a
// server that forks per session is measured as a whole, like one that runs a thread each.
namespace BenchProc {

struct MemoryFigures {
    std::int64_t nPssKiB = 0;  // proportional set size: shared pages divided among sharers
    std::int64_t nRssKiB = 0;
    int nProcesses = 0;
};

std::vector<int> ProcessTree(int rootPid);
MemoryFigures MeasureTree(int rootPid);
// User and system time the processes of the tree have spent so far, in seconds. A session
// process counts only while it lives, so read it before the session ends.
double CpuSecondsOfTree(int rootPid);

} // namespace BenchProc
