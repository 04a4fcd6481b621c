#include "platform/linux/event_poller.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include "platform/system_call.h"

namespace {

[[noreturn]] void FailWithoutDescriptors(const char* what)
{
    std::perror(what);
    std::abort();
}

using Clock = std::chrono::steady_clock;

} // namespace

CEventPoller::CEventPoller() : m_Posted(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (!m_Posted.Valid())
        FailWithoutDescriptors("event loop");
}

int CEventPoller::Descriptor()
{
    if (IsEpoll())
        return m_Epoll.Get();
    m_Epoll.Reset(::epoll_create1(EPOLL_CLOEXEC));
    m_Timer.Reset(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
    if (!m_Epoll.Valid() || !m_Timer.Valid())
        FailWithoutDescriptors("event loop");
    Control(EPOLL_CTL_ADD, m_Posted.Get(), EPOLLIN, kPostedId);
    Control(EPOLL_CTL_ADD, m_Timer.Get(), EPOLLIN, kTimerId);
    ArmTimer(m_TimerDeadline);
    for (auto& [watchId, registration] : m_Registrations) {
        registration.bWatched = false;
        Update(watchId, registration);
    }
    return m_Epoll.Get();
}

void CEventPoller::Wake()
{
    const std::uint64_t one = 1;
    CSystemCall::RetryOnInterrupt([&] { return ::write(m_Posted.Get(), &one, sizeof(one)); });
}

void CEventPoller::ClearWake()
{
    std::uint64_t count = 0;
    CSystemCall::RetryOnInterrupt([&] { return ::read(m_Posted.Get(), &count, sizeof(count)); });
}

void CEventPoller::ArmTimer(std::optional<Deadline> deadline)
{
    m_TimerDeadline = deadline;
    if (!IsEpoll())
        return;
    itimerspec setting = {};
    if (!deadline) {
        ::timerfd_settime(m_Timer.Get(), 0, &setting, nullptr);
        return;
    }
    // The steady clock is the monotonic one. A deadline already past still
    // fires: an all-zero time would disarm the timer instead.
    const auto since = deadline->time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    setting.it_value.tv_sec = seconds.count();
    setting.it_value.tv_nsec = std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count();
    if (setting.it_value.tv_sec <= 0 && setting.it_value.tv_nsec <= 0)
        setting.it_value.tv_nsec = 1;
    ::timerfd_settime(m_Timer.Get(), TFD_TIMER_ABSTIME, &setting, nullptr);
}

void CEventPoller::ClearTimer()
{
    if (!IsEpoll())
        return;
    std::uint64_t expirations = 0;
    CSystemCall::RetryOnInterrupt([&] { return ::read(m_Timer.Get(), &expirations, sizeof(expirations)); });
}

void CEventPoller::Wait(int timeoutMs, std::vector<Event>& events)
{
    events.clear();
    if (IsEpoll())
        WaitEpoll(timeoutMs, events);
    else
        WaitPoll(timeoutMs, events);
}

// As the poll-based notifiers this replaces saw it: a hang-up makes a socket
// readable (the read then finds the end), an error both.
void CEventPoller::WaitEpoll(int timeoutMs, std::vector<Event>& events)
{
    epoll_event ready[kMostEventsPerWait];
    const int count = ::epoll_wait(m_Epoll.Get(), ready, kMostEventsPerWait, timeoutMs);
    for (int i = 0; i < count; ++i) {
        const std::uint64_t id = ready[i].data.u64;
        const std::uint32_t flags = ready[i].events;
        const Source source = id == kPostedId ? Source::Posted : id == kTimerId ? Source::Timer : Source::Socket;
        events.push_back({source, id, (flags & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0,
                          (flags & (EPOLLOUT | EPOLLERR)) != 0, (flags & (EPOLLHUP | EPOLLERR)) != 0});
    }
}

// The eventfd and the sockets that ask for something, in one poll whose
// timeout ends at the timer's deadline if that comes first.
void CEventPoller::WaitPoll(int timeoutMs, std::vector<Event>& events)
{
    std::vector<pollfd> watched;
    std::vector<std::uint64_t> ids;
    watched.reserve(m_Registrations.size() + 1);
    ids.reserve(m_Registrations.size() + 1);
    watched.push_back({m_Posted.Get(), POLLIN, 0});
    ids.push_back(kPostedId);
    for (const auto& [watchId, registration] : m_Registrations) {
        if (!registration.bWatched)
            continue;
        const short interest = static_cast<short>((registration.bRead ? POLLIN : 0) | (registration.bWrite ? POLLOUT : 0));
        watched.push_back({registration.hDescriptor, interest, 0});
        ids.push_back(watchId);
    }
    if (m_TimerDeadline) {
        const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(*m_TimerDeadline - Clock::now()).count();
        const int timerMs = static_cast<int>(std::clamp<long long>(untilDue, 0, INT_MAX));
        timeoutMs = timeoutMs < 0 ? timerMs : std::min(timeoutMs, timerMs);
    }
    const int count = ::poll(watched.data(), watched.size(), timeoutMs);
    for (size_t i = 0; count > 0 && i < watched.size(); ++i) {
        const short flags = watched[i].revents;
        if (flags == 0)
            continue;
        const Source source = ids[i] == kPostedId ? Source::Posted : Source::Socket;
        events.push_back({source, ids[i], (flags & (POLLIN | POLLHUP | POLLERR)) != 0,
                          (flags & (POLLOUT | POLLERR)) != 0, (flags & (POLLHUP | POLLERR)) != 0});
    }
    if (m_TimerDeadline && *m_TimerDeadline <= Clock::now())
        events.push_back({Source::Timer, kTimerId, false, false, false});
}

std::uint64_t CEventPoller::Watch(int hDescriptor, bool bRead, bool bWrite, std::function<void(bool bWrite)> handler)
{
    const std::uint64_t id = ++m_nLastWatchId;
    Registration& registration = m_Registrations[id];
    registration = {hDescriptor, bRead, bWrite, false, std::move(handler)};
    Update(id, registration);
    return id;
}

void CEventPoller::SetInterest(std::uint64_t watchId, bool bRead, bool bWrite)
{
    const auto found = m_Registrations.find(watchId);
    if (found == m_Registrations.end())
        return;
    Registration& registration = found->second;
    if (registration.bRead == bRead && registration.bWrite == bWrite && registration.bWatched == (bRead || bWrite))
        return;
    registration.bRead = bRead;
    registration.bWrite = bWrite;
    Update(watchId, registration);
}

void CEventPoller::Unwatch(std::uint64_t watchId)
{
    const auto found = m_Registrations.find(watchId);
    if (found == m_Registrations.end())
        return;
    if (found->second.bWatched && IsEpoll())
        Control(EPOLL_CTL_DEL, found->second.hDescriptor, 0, watchId);
    m_Registrations.erase(found);
}

// A descriptor that asks for nothing leaves the set watched: a hang-up is
// reported whatever the interest, and would otherwise wake the loop forever.
// Without an epoll set, the next poll takes the interest as it stands.
void CEventPoller::Update(std::uint64_t watchId, Registration& registration)
{
    const std::uint32_t events = (registration.bRead ? EPOLLIN : 0u) | (registration.bWrite ? EPOLLOUT : 0u);
    const bool bWasIn = registration.bWatched;
    registration.bWatched = events != 0;
    if (!IsEpoll() || (!bWasIn && events == 0))
        return;
    if (events == 0)
        Control(EPOLL_CTL_DEL, registration.hDescriptor, 0, watchId);
    else
        Control(bWasIn ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, registration.hDescriptor, events, watchId);
}

void CEventPoller::Control(int operation, int hDescriptor, std::uint32_t events, std::uint64_t id)
{
    epoll_event event = {};
    event.events = events;
    event.data.u64 = id;
    ::epoll_ctl(m_Epoll.Get(), operation, hDescriptor, &event);
}

void CEventPoller::Deliver(const Event& event)
{
    const bool bReadNotified = event.bReadable && Notify(event.watchId, false);
    const bool bWriteNotified = event.bWritable && Notify(event.watchId, true);
    if (bReadNotified || bWriteNotified || !event.bHangUp)
        return;
    // Ready for nothing that is asked for (a hang-up while only writing is
    // wanted): out of the set until the interest changes, or it would spin.
    const auto found = m_Registrations.find(event.watchId);
    if (found != m_Registrations.end() && found->second.bWatched) {
        if (IsEpoll())
            Control(EPOLL_CTL_DEL, found->second.hDescriptor, 0, event.watchId);
        found->second.bWatched = false;
    }
}

bool CEventPoller::Notify(std::uint64_t watchId, bool bWrite)
{
    const auto found = m_Registrations.find(watchId);
    if (found == m_Registrations.end())
        return false;
    if (!(bWrite ? found->second.bWrite : found->second.bRead))
        return false;
    // A copy: the handler may stop its own registration.
    const std::function<void(bool)> handler = found->second.handler;
    handler(bWrite);
    return true;
}
