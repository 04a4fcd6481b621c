#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/unique_fd.h"

// What a thread's event loop waits on, on Linux: one epoll descriptor that
// watches an eventfd (posted tasks are waiting), a timerfd (the earliest timer
// is due) and the thread's sockets. The three are made together and kept
// for the loop's life: a loop holds the same descriptors whatever it does,
// so that what a thread holds can be counted. Used by its loop's thread only, except Wake and
// ClearWake, which the loop calls under its queue lock.
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

    // Ends the program when the system gives no descriptors for a loop: a
    // thread without one could do nothing, not even end in order.
    CEventPoller();

    int Descriptor() const { return m_Epoll.Get(); }

    // The eventfd's count is not zero exactly while posted tasks wait.
    void Wake();
    void ClearWake();
    // No deadline disarms the timer.
    void ArmTimer(std::optional<std::chrono::steady_clock::time_point> deadline);
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
        bool bInEpoll;
        std::function<void(bool bWrite)> handler;
    };
    static constexpr std::uint64_t kPostedId = 0;
    static constexpr std::uint64_t kTimerId = 1;
    static constexpr int kMostEventsPerWait = 64;

    void Control(int operation, int hDescriptor, std::uint32_t events, std::uint64_t id);
    void Update(std::uint64_t watchId, Registration& registration);
    bool Notify(std::uint64_t watchId, bool bWrite);

    CUniqueFd m_Epoll;
    CUniqueFd m_Posted;
    CUniqueFd m_Timer;
    // Never reused, so a late event of a stopped registration finds nothing.
    std::uint64_t m_nLastWatchId = kTimerId;
    std::unordered_map<std::uint64_t, Registration> m_Registrations;
};
