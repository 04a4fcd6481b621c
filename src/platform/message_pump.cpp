#include "platform/message_pump.h"

#include <algorithm>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

void CMessagePump::PumpPendingMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool CMessagePump::WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QThread* self = QThread::currentThread();
    QAbstractEventDispatcher* dispatcher = self->eventDispatcher();
    const QDeadlineTimer deadline(timeoutMs);
    // The timer only wakes the dispatcher at the deadline. A timer may fire a
    // little before its time, so it is armed again for whatever remains;
    // otherwise the wait would block with nothing left to wake it.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!done()) {
        if (deadline.hasExpired() || self->isInterruptionRequested() || dispatcher == nullptr)
            return false;
        if (!wake.isActive())
            wake.start(std::max<qint64>(1, deadline.remainingTime()));
        dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool CMessagePump::WaitForThreadEnd(QThread* thread, int timeoutMs)
{
    // finished is emitted a moment before isFinished() turns true, so the
    // queued handler's flag is what the wait trusts; the post also wakes it.
    bool bEnded = false;
    QObject context;
    QObject::connect(thread, &QThread::finished, &context, [&bEnded] { bEnded = true; },
                     Qt::QueuedConnection);
    return WaitUntil([&] { return bEnded || thread->isFinished(); }, timeoutMs);
}
