#include "busy_wait.h"

#include <chrono>

#include "platform/event_loop.h"

namespace {

// How often the condition is looked at when no event comes by itself.
constexpr int kLookMs = 5;

} // namespace

bool CBusyWait::Until(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    CEventLoop& loop = CEventLoop::Current();
    while (!loop.WaitUntil(done, kLookMs)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
    return true;
}
