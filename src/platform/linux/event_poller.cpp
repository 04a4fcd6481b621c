#include "platform/linux/event_poller.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

} // namespace

CEventPoller::CEventPoller()
    : m_Epoll(::epoll_create1(EPOLL_CLOEXEC)),
      m_Posted(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      m_Timer(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{
    if (!m_Epoll.Valid() || !m_Posted.Valid() || !m_Timer.Valid())
        FailWithoutDescriptors("event loop");
    Control(EPOLL_CTL_ADD, m_Posted.Get(), EPOLLIN, kPostedId);
    Control(EPOLL_CTL_ADD, m_Timer.Get(), EPOLLIN, kTimerId);
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

void CEventPoller::ArmTimer(std::optional<std::chrono::steady_clock::time_point> deadline)
{
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
    std::uint64_t expirations = 0;
    CSystemCall::RetryOnInterrupt([&] { return ::read(m_Timer.Get(), &expirations, sizeof(expirations)); });
}

void CEventPoller::Wait(int timeoutMs, std::vector<Event>& events)
{
    epoll_event ready[kMostEventsPerWait];
    const int count = ::epoll_wait(m_Epoll.Get(), ready, kMostEventsPerWait, timeoutMs);
    events.clear();
    for (int i = 0; i < count; ++i) {
        const std::uint64_t id = ready[i].data.u64;
        const std::uint32_t flags = ready[i].events;
        const Source source = id == kPostedId ? Source::Posted : id == kTimerId ? Source::Timer : Source::Socket;
        // As the poll-based notifiers this replaces saw it: a hang-up makes
        // a socket readable (the read then finds the end), an error both.
        events.push_back({source, id, (flags & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0,
                          (flags & (EPOLLOUT | EPOLLERR)) != 0, (flags & (EPOLLHUP | EPOLLERR)) != 0});
    }
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
    if (registration.bRead == bRead && registration.bWrite == bWrite && registration.bInEpoll == (bRead || bWrite))
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
    if (found->second.bInEpoll)
        Control(EPOLL_CTL_DEL, found->second.hDescriptor, 0, watchId);
    m_Registrations.erase(found);
}

// A descriptor that asks for nothing leaves the epoll set: a hang-up is
// reported whatever the interest, and would otherwise wake the loop forever.
void CEventPoller::Update(std::uint64_t watchId, Registration& registration)
{
    const std::uint32_t events = (registration.bRead ? EPOLLIN : 0u) | (registration.bWrite ? EPOLLOUT : 0u);
    if (events == 0) {
        if (registration.bInEpoll)
            Control(EPOLL_CTL_DEL, registration.hDescriptor, 0, watchId);
        registration.bInEpoll = false;
        return;
    }
    Control(registration.bInEpoll ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, registration.hDescriptor, events, watchId);
    registration.bInEpoll = true;
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
    if (found != m_Registrations.end() && found->second.bInEpoll) {
        Control(EPOLL_CTL_DEL, found->second.hDescriptor, 0, event.watchId);
        found->second.bInEpoll = false;
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
