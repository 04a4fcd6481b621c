#include "busy_wait.h"

#include <QTimer>

#include "platform/message_pump.h"

namespace {

// How often the condition is looked at when no event comes by itself.
constexpr int kLookMs = 5;

} // namespace

bool CBusyWait::Until(const std::function<bool()>& done, int timeoutMs)
{
    QTimer look;
    look.start(kLookMs);
    return CMessagePump::WaitUntil(done, timeoutMs);
}
