#include "platform/event_loop.h"

#include <algorithm>
#include <cassert>
#include <vector>

#ifdef _WIN32
#include "platform/win32/event_poller.h"
#else
#include "platform/linux/event_poller.h"
#endif

namespace {

thread_local CEventLoop* t_pCurrentLoop = nullptr;

// While the window waits with the main thread, it gets a turn at least this
// often: often enough to keep painting, seldom enough to cost nothing.
constexpr int kHookRoundMs = 10;

} // namespace

CEventLoop::CEventLoop() : m_pPoller(std::make_unique<CEventPoller>())
{
    assert(t_pCurrentLoop == nullptr && "a thread has one event loop");
    t_pCurrentLoop = this;
}

// A thread's loop may be destroyed by another thread once its own has ended.
CEventLoop::~CEventLoop()
{
    Close();
    if (t_pCurrentLoop == this)
        t_pCurrentLoop = nullptr;
}

CEventLoop& CEventLoop::Current()
{
    assert(t_pCurrentLoop != nullptr && "this thread has no event loop");
    return *t_pCurrentLoop;
}

bool CEventLoop::IsCurrent() const
{
    return t_pCurrentLoop == this;
}

void CEventLoop::AssertOwnThread() const
{
    assert(IsCurrent() && "foreign thread");
}

// The poller is woken under the queue's lock, so Close cannot come between
// the check and the wake-up. A task the loop's own thread posts while the
// loop goes round needs no wake-up: the thread looks at its queue before it
// next waits, which saves a session two system calls and a return from the
// wait for each transfer.
bool CEventLoop::Post(Task task)
{
    std::lock_guard lock(m_QueueLock);
    if (m_bClosed)
        return false;
    m_Tasks.push_back(std::move(task));
    if (!m_bWoken && !(IsCurrent() && m_nDriving > 0)) {
        m_pPoller->Wake();
        m_bWoken = true;
    }
    return true;
}

// While the loop's own Run or WaitUntil goes round, its thread looks at the
// queue before each wait. When the last of them returns, a task it posted
// itself and left waiting needs the wake-up after all: the window's loop,
// which drives the main thread's otherwise, learns of work only from it.
class CEventLoop::CDriving {
public:
    explicit CDriving(CEventLoop& loop) : m_Loop(loop) { ++m_Loop.m_nDriving; }
    ~CDriving()
    {
        if (--m_Loop.m_nDriving > 0)
            return;
        std::lock_guard lock(m_Loop.m_QueueLock);
        if (!m_Loop.m_Tasks.empty() && !m_Loop.m_bWoken && m_Loop.m_pPoller) {
            m_Loop.m_pPoller->Wake();
            m_Loop.m_bWoken = true;
        }
    }
    CDriving(const CDriving&) = delete;
    CDriving& operator=(const CDriving&) = delete;

private:
    CEventLoop& m_Loop;
};

bool CEventLoop::HasPosted()
{
    std::lock_guard lock(m_QueueLock);
    return !m_Tasks.empty();
}

void CEventLoop::Close()
{
    std::deque<Task> dropped;
    std::unique_ptr<CEventPoller> pPoller;
    {
        std::lock_guard lock(m_QueueLock);
        m_bClosed = true;
        dropped.swap(m_Tasks);
        pPoller.swap(m_pPoller);
    }
    m_Timers.clear();
    m_TimerOrder.clear();
}

void CEventLoop::Run()
{
    AssertOwnThread();
    const CDriving driving(*this);
    while (!m_bQuit)
        RunRound(-1);
}

void CEventLoop::Quit()
{
    AssertOwnThread();
    m_bQuit = true;
}

void CEventLoop::RequestInterruption()
{
    m_bInterrupted.store(true, std::memory_order_relaxed);
}

bool CEventLoop::IsInterruptionRequested() const
{
    return m_bInterrupted.load(std::memory_order_relaxed);
}

void CEventLoop::RunPending()
{
    AssertOwnThread();
    RunRound(0);
}

bool CEventLoop::WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    AssertOwnThread();
    if (done())
        return true;
    const CDriving driving(*this);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        // Rounded up, so that the last round sleeps to the deadline instead of spinning at 0.
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (remaining <= 0 || m_bQuit || IsInterruptionRequested())
            return false;
        int roundMs = static_cast<int>(remaining);
        if (m_WaitHook) {
            m_WaitHook();
            if (done())
                return true;
            roundMs = std::min(roundMs, kHookRoundMs);
        }
        RunRound(roundMs);
    }
    return true;
}

void CEventLoop::SetWaitHook(Task hook)
{
    AssertOwnThread();
    m_WaitHook = std::move(hook);
}

void CEventLoop::RunRound(int timeoutMs)
{
    if (!m_pPoller)
        return;
    // Tasks this thread posted itself may have woken nothing: with any
    // waiting, the round only looks at what else is ready, then runs them.
    const bool bPosted = HasPosted();
    std::vector<CEventPoller::Event> events;
    m_pPoller->Wait(bPosted ? 0 : timeoutMs, events);
    bool bPostedRun = false;
    for (const CEventPoller::Event& event : events) {
        if (m_bQuit)
            return;
        switch (event.source) {
        case CEventPoller::Source::Posted:
            RunPosted();
            bPostedRun = true;
            break;
        case CEventPoller::Source::Timer:
            RunDueTimers();
            break;
        case CEventPoller::Source::Socket:
            m_pPoller->Deliver(event);
            break;
        }
    }
    if (bPosted && !bPostedRun && !m_bQuit)
        RunPosted();
}

// What was queued when the round began, one at a time in order; what is
// posted meanwhile waits for the next round, after the sockets' turn. The
// wake-up, once written, stays pending exactly while tasks wait.
void CEventLoop::RunPosted()
{
    size_t count = 0;
    {
        std::lock_guard lock(m_QueueLock);
        count = m_Tasks.size();
    }
    for (; count > 0 && !m_bQuit; --count) {
        Task task;
        {
            std::lock_guard lock(m_QueueLock);
            if (m_Tasks.empty())
                return;
            task = std::move(m_Tasks.front());
            m_Tasks.pop_front();
            if (m_Tasks.empty() && m_bWoken) {
                m_pPoller->ClearWake();
                m_bWoken = false;
            }
        }
        task();
    }
}

int CEventLoop::StartTimer(int timeoutMs, Task task)
{
    AssertOwnThread();
    const int timerId = ++m_nLastTimerId;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    m_Timers.emplace(timerId, Timer{deadline, std::move(task)});
    const bool bEarliest = m_TimerOrder.empty() || deadline < m_TimerOrder.begin()->first;
    m_TimerOrder.emplace(deadline, timerId);
    if (bEarliest && m_pPoller)
        ArmEarliestTimer();
    return timerId;
}

void CEventLoop::CancelTimer(int timerId)
{
    AssertOwnThread();
    const auto found = m_Timers.find(timerId);
    if (found == m_Timers.end())
        return;
    auto [first, last] = m_TimerOrder.equal_range(found->second.deadline);
    for (; first != last; ++first) {
        if (first->second == timerId) {
            m_TimerOrder.erase(first);
            break;
        }
    }
    m_Timers.erase(found);
}

// The timers due now, earliest first; one may cancel another that is also
// due, which then does not run. Timers started meanwhile wait for the next round.
void CEventLoop::RunDueTimers()
{
    m_pPoller->ClearTimer();
    std::vector<int> due;
    const Clock::time_point now = Clock::now();
    while (!m_TimerOrder.empty() && m_TimerOrder.begin()->first <= now) {
        due.push_back(m_TimerOrder.begin()->second);
        m_TimerOrder.erase(m_TimerOrder.begin());
    }
    for (const int timerId : due) {
        const auto found = m_Timers.find(timerId);
        if (found == m_Timers.end())
            continue;
        const Task task = std::move(found->second.task);
        m_Timers.erase(found);
        task();
        if (m_bQuit)
            break;
    }
    ArmEarliestTimer();
}

void CEventLoop::ArmEarliestTimer()
{
    if (!m_pPoller)
        return;
    if (m_TimerOrder.empty())
        m_pPoller->ArmTimer(std::nullopt);
    else
        m_pPoller->ArmTimer(m_TimerOrder.begin()->first);
}

std::uint64_t CEventLoop::Watch(SocketHandle hSocket, bool bRead, bool bWrite, ReadyHandler handler)
{
    AssertOwnThread();
    if (!m_pPoller)
        return 0;
    return m_pPoller->Watch(hSocket, bRead, bWrite, [handler = std::move(handler)](bool bWritable) {
        handler(bWritable ? Readiness::Writable : Readiness::Readable);
    });
}

void CEventLoop::SetInterest(std::uint64_t watchId, bool bRead, bool bWrite)
{
    AssertOwnThread();
    if (m_pPoller)
        m_pPoller->SetInterest(watchId, bRead, bWrite);
}

void CEventLoop::Unwatch(std::uint64_t watchId)
{
    AssertOwnThread();
    if (m_pPoller)
        m_pPoller->Unwatch(watchId);
}

int CEventLoop::Descriptor()
{
    return m_pPoller ? m_pPoller->Descriptor() : -1;
}

std::uint64_t CEventLoop::Enrol()
{
    AssertOwnThread();
    const std::uint64_t serial = ++m_nLastSerial;
    m_Residents.insert(serial);
    return serial;
}

void CEventLoop::Forget(std::uint64_t serial)
{
    m_Residents.erase(serial);
}

CEventLoop::CResident::CResident() : m_pLoop(&CEventLoop::Current()), m_nSerial(m_pLoop->Enrol()) {}

CEventLoop::CResident::~CResident()
{
    AssertOwnThread();
    m_pLoop->Forget(m_nSerial);
}

// The serial is looked up on the loop's own thread, where residents come and go.
bool CEventLoop::CResident::Post(Task task) const
{
    return m_pLoop->Post([pLoop = m_pLoop, serial = m_nSerial, task = std::move(task)] {
        if (pLoop->m_Residents.contains(serial))
            task();
    });
}

void CEventLoop::CResident::AssertOwnThread() const
{
    m_pLoop->AssertOwnThread();
}
