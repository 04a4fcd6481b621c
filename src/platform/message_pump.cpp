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
    const QDeadlineTimer deadline(timeoutMs);
    // The timer only wakes the dispatcher at the deadline.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired() || self->isInterruptionRequested() || dispatcher == nullptr)
            return false;
        dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool CMessagePump::WaitForThreadEnd(const QPointer<QThread>& thread, int timeoutMs)
{
    if (thread.isNull() || thread->isFinished())
        return true;
    // finished is emitted a moment before isFinished() turns true, so the
    // queued handler's flag is what the wait trusts; the post also wakes it.
    bool bEnded = false;
    QObject context;
    QObject::connect(thread, &QThread::finished, &context, [&bEnded] { bEnded = true; },
                     Qt::QueuedConnection);
    return WaitUntil([&] { return bEnded || thread.isNull() || thread->isFinished(); }, timeoutMs);
}
