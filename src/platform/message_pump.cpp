#include "platform/message_pump.h"

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
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    // The timer only wakes the dispatcher at the deadline; it is re-armed with
    // the time left, since a timer may fire a little early.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!done()) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0 || self->isInterruptionRequested() || dispatcher == nullptr)
            return false;
        if (!wake.isActive())
            wake.start(static_cast<int>(remaining));
        dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool CMessagePump::WaitForThreadEnd(const QPointer<QThread>& thread, int timeoutMs)
{
    return WaitUntil([&] { return thread.isNull() || thread->isFinished(); }, timeoutMs);
}
