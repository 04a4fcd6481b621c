#pragma once

#include <functional>

#include <QPointer>
#include <QThread>

// Waits that keep the calling thread's own notifications flowing. They block
// on events with a deadline and never spin.
class CMessagePump {
public:
    // Dispatches whatever is queued for the calling thread; never blocks.
    static void PumpPendingMessages();

    // Dispatches the calling thread's events until done() holds (true), the
    // time is up or the thread is told to quit (false). done() is tested
    // before the first wait, so a condition that already holds returns at once.
    static bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

    // Waits until thread has finished or its object is deleted, dispatching
    // the caller's events meanwhile. The end is noticed at the caller's next
    // event, so the thread has to post the caller one at its end (a thread
    // that deletes itself does).
    static bool WaitForThreadEnd(const QPointer<QThread>& thread, int timeoutMs);
};
