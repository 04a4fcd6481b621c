#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include <QObject>

// The messages posted to one thread, run there one at a time in the order
// posted, each in the place among the thread's other events where it was
// posted. The queue's own lock stands between a post and the run of its
// message, so what the poster did before posting is ordered before what the
// message does where the race detector sees it (the toolkit's event lists are
// locked inside the toolkit, where it sees nothing). Once its thread closes
// it, posts are refused: no post then wakes a thread whose event loop is
// going away.
class CMessageQueue : public QObject {
    Q_OBJECT
public:
    // Lives on the thread that creates it until moved to another.
    CMessageQueue() = default;

    // Any thread: queues the message; false, and the message is dropped, once closed.
    bool Post(std::function<void()> message);
    // Own thread: refuses every later post and drops what was not yet taken.
    void Close();

protected:
    bool event(QEvent* pEvent) override;

private:
    void WakeUnderLock();
    void RunNext();

    std::mutex m_Lock;
    std::deque<std::function<void()>> m_Messages;
    bool m_bClosed = false;
};
