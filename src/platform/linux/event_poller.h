#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "platform/unique_fd.h"

// What a thread's event loop waits on, on Linux. Every loop has an eventfd
// (posted tasks are waiting). A loop that only its own thread drives, as a
// session's, polls that and its few sockets directly and takes its timers
// from the wait's timeout: two descriptors a session with its connection, so
// that 9,000 clients fit under a hard limit of 20,000. A loop that another
// loop drives (the main thread's, which the window watches) asks for one
// descriptor that is readable whenever it has work: an epoll set of the
// eventfd, a timerfd and its sockets. The descriptors are made when the loop
// is (the epoll set and timerfd when first asked for) and kept for the
// loop's life, so that what a thread holds can be counted. Used by its
// loop's thread only, except Wake and ClearWake, which the loop calls under
// its queue lock.
class CEventPoller {
public:
    enum class Source { Posted, Timer, Socket };
    struct Event {
        Source source;
        std::uint64_t watchId;
        bool bReadable;
        bool bWritable;
        bool bHangUp;
    };
    using Deadline = std::chrono::steady_clock::time_point;

    // Ends the program when the system gives no descriptors for a loop: a
    // thread without one could do nothing, not even end in order.
    CEventPoller();

    // The one descriptor that is readable while anything here is ready.
    int Descriptor();

    // The eventfd's count is not zero exactly while posted tasks wait.
    void Wake();
    void ClearWake();
    // No deadline disarms the timer.
    void ArmTimer(std::optional<Deadline> deadline);
    void ClearTimer();

    // Waits up to timeoutMs (-1: no limit) and lists what is ready.
    void Wait(int timeoutMs, std::vector<Event>& events);

    std::uint64_t Watch(int hDescriptor, bool bRead, bool bWrite, std::function<void(bool bWrite)> handler);
    void SetInterest(std::uint64_t watchId, bool bRead, bool bWrite);
    void Unwatch(std::uint64_t watchId);
    // Tells the registration the event was for, if it still exists, of the
    // readiness it still asks for: reading first, then writing, each only if
    // the registration is still there after the first.
    void Deliver(const Event& event);

private:
    struct Registration {
        int hDescriptor;
        bool bRead;
        bool bWrite;
        bool bWatched;
        std::function<void(bool bWrite)> handler;
    };
    static constexpr std::uint64_t kPostedId = 0;
    static constexpr std::uint64_t kTimerId = 1;
    static constexpr int kMostEventsPerWait = 64;

    bool IsEpoll() const { return m_Epoll.Valid(); }
    void WaitEpoll(int timeoutMs, std::vector<Event>& events);
    void WaitPoll(int timeoutMs, std::vector<Event>& events);
    void Control(int operation, int hDescriptor, std::uint32_t events, std::uint64_t id);
    void Update(std::uint64_t watchId, Registration& registration);
    bool Notify(std::uint64_t watchId, bool bWrite);

    CUniqueFd m_Posted;
    CUniqueFd m_Epoll;
    CUniqueFd m_Timer;
    std::optional<Deadline> m_TimerDeadline;
    // Never reused, so a late event of a stopped registration finds nothing.
    // Ordered, so that a poll looks at the sockets in the order they came.
    std::uint64_t m_nLastWatchId = kTimerId;
    std::map<std::uint64_t, Registration> m_Registrations;
};
