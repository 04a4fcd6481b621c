#include "platform/message_queue.h"

#include <QCoreApplication>
#include <QEvent>

#ifdef __SANITIZE_THREAD__
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
extern "C" void AnnotateIgnoreWritesBegin(const char* file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char* file, int line);
#endif

namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// The toolkit appends to another thread's event list under a lock of its own
// that the race detector cannot see, so it would take the list's growth by
// two posting threads for a race. The post runs none of our code, and what a
// message carries is ordered by our lock, so the detector looks away for the
// post alone.
void IgnoreRacesBegin()
{
#ifdef __SANITIZE_THREAD__
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
#endif
}

void IgnoreRacesEnd()
{
#ifdef __SANITIZE_THREAD__
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
#endif
}

} // namespace

bool CMessageQueue::Post(std::function<void()> message)
{
    std::lock_guard lock(m_Lock);
    if (m_bClosed)
        return false;
    m_Messages.push_back(std::move(message));
    WakeUnderLock();
    return true;
}

void CMessageQueue::Close()
{
    std::deque<std::function<void()>> dropped;
    std::lock_guard lock(m_Lock);
    m_bClosed = true;
    dropped.swap(m_Messages);
}

// One event per message keeps each message in its place among the thread's
// other events. The toolkit wakes the thread only after it has let go of its
// own lock; under ours, a Close cannot slip in between and let the thread
// tear its loop down while the post still wakes it.
void CMessageQueue::WakeUnderLock()
{
    IgnoreRacesBegin();
    QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
    IgnoreRacesEnd();
}

bool CMessageQueue::event(QEvent* pEvent)
{
    if (pEvent->type() != kWakeEvent)
        return QObject::event(pEvent);
    RunNext();
    return true;
}

void CMessageQueue::RunNext()
{
    std::function<void()> message;
    {
        std::lock_guard lock(m_Lock);
        // Empty once closed: the wake-ups of dropped messages find nothing.
        if (m_Messages.empty())
            return;
        message = std::move(m_Messages.front());
        m_Messages.pop_front();
    }
    message();
}
