#include "resource_baseline.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "platform/event_loop.h"
#include "process_resources.h"

namespace {

// How long one round of waiting lets events run before counting again.
constexpr int kRoundMs = 10;

std::string Compared(const char* what, int now, int before)
{
    return std::string(what) + ' ' + std::to_string(now) + " (" + std::to_string(before) + " at the baseline)";
}

// The race detector starts a thread of its own along with the process's
// second thread and keeps it; a baseline taken before then would count that
// thread as one a server failed to give back. A thread started and joined
// once, before the first count, brings it about.
int ThreadCountOnceRuntimeStarted()
{
    static std::once_flag started;
    std::call_once(started, [] { std::thread([] {}).join(); });
    return CProcessResources::ThreadCount();
}

} // namespace

CResourceBaseline::CResourceBaseline()
    : m_nThreads(ThreadCountOnceRuntimeStarted()), m_nFiles(CProcessResources::OpenFileCount())
{
}

std::string CResourceBaseline::WaitUntilBack(Held what, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string difference = Difference(what);
    while (!difference.empty() && std::chrono::steady_clock::now() < deadline) {
        // Also runs what ended sessions leave to the test thread.
        CEventLoop::Current().WaitUntil([] { return false; }, kRoundMs);
        difference = Difference(what);
    }
    return difference;
}

std::string CResourceBaseline::Difference(Held what) const
{
    std::string difference;
    const int threads = CProcessResources::ThreadCount();
    if (threads != m_nThreads)
        difference = Compared("threads", threads, m_nThreads);
    const int files = what == Held::ThreadsAndFiles ? CProcessResources::OpenFileCount() : m_nFiles;
    if (files != m_nFiles)
        difference += (difference.empty() ? "" : ", ") + Compared("descriptors", files, m_nFiles);
    return difference;
}
