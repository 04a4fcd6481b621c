#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include <winsock2.h>
#include <windows.h>

#include "platform/unique_socket.h"

// What a thread's event loop waits on, on Windows: a message-only window of
// its own. A posted task is one wake-up message (sent only when the queue was
// empty), the loop's earliest timer is the window's one SetTimer timer, and a
// watched socket reports through WSAAsyncSelect to the window. The loop's own
// Run and waits take the window's messages themselves; when another message
// loop of the thread (a dialog's, a message box's) dispatches them instead,
// the window runs what is ready then and there. Windows of other code on the
// thread are pumped by that code (on the main thread, through the wait hook).
// Used by its loop's thread only, except Wake and ClearWake, which the loop
// calls under its queue lock.
class CEventPoller {
public:
    enum class Source { Posted, Timer, Socket };
    struct Event {
        Source source;
        std::uint64_t watchId;
        bool bReadable;
        bool bWritable;
        bool bHangUp;
        // The WSA error the notification came with (a refused connect, a reset).
        int nError;
    };
    using Deadline = std::chrono::steady_clock::time_point;

    // Ends the program when the system gives no window for a loop: a thread
    // without one could do nothing, not even end in order.
    CEventPoller();
    ~CEventPoller();
    CEventPoller(const CEventPoller&) = delete;
    CEventPoller& operator=(const CEventPoller&) = delete;

    // Nothing to watch on Windows (-1): the window's messages drive the loop.
    int Descriptor() { return -1; }

    void Wake();
    void ClearWake();
    // No deadline disarms the timer.
    void ArmTimer(std::optional<Deadline> deadline);
    void ClearTimer() {}

    // Waits up to timeoutMs (-1: no limit) and lists what is ready.
    void Wait(int timeoutMs, std::vector<Event>& events);

    std::uint64_t Watch(SocketHandle hSocket, bool bRead, bool bWrite, std::function<void(bool bWrite)> handler);
    void SetInterest(std::uint64_t watchId, bool bRead, bool bWrite);
    void Unwatch(std::uint64_t watchId);
    // Tells the registration the event was for, if it still exists, of the
    // readiness it still asks for: reading first, then writing, each only if
    // the registration is still there after the first.
    void Deliver(const Event& event);
    // Inside a handler Deliver calls: the WSA error of the notification it
    // handles, which the socket cannot always read back (a refused connect).
    static int DeliveredError();

private:
    struct Registration {
        SocketHandle hSocket;
        // The message its notifications come as: a registration's own, so a
        // notification still queued for a socket closed since (its handle
        // perhaps given to a new socket) matches nothing.
        UINT nMessage;
        bool bRead;
        bool bWrite;
        // The peer has closed: unlike data, the end is reported once, so
        // reading stays ready from then on, as the loop's readiness is.
        bool bHungUp;
        std::function<void(bool bWrite)> handler;
    };
    static constexpr UINT kWakeMessage = WM_APP;
    static constexpr UINT kFirstSocketMessage = WM_APP + 1;
    static constexpr UINT kSocketMessages = 0x3FFE;
    static constexpr UINT_PTR kTimerId = 1;

    static LRESULT CALLBACK WindowProcedure(HWND hWindow, UINT message, WPARAM wParam, LPARAM lParam);
    void OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnSocketMessage(UINT message, SOCKET hSocket, LPARAM lParam);
    void TakeMessages();
    void AddTimerEventIfDue();
    void Select(const Registration& registration);
    UINT NextSocketMessage();

    HWND m_hWindow = nullptr;
    std::atomic<bool> m_bWakeSet{false};
    // Taken from the window, not yet handed to the loop. The loop gets one at
    // a time, so that a wait nested in a handler still finds the others: a
    // socket's notification taken from the window is not reported again.
    std::deque<Event> m_Ready;
    // Inside Wait: messages are collected rather than acted on.
    bool m_bWaiting = false;
    std::optional<Deadline> m_TimerDeadline;
    std::uint64_t m_nLastWatchId = 0;
    UINT m_nLastSocketMessage = 0;
    std::map<std::uint64_t, Registration> m_Registrations;
    std::unordered_map<SOCKET, std::uint64_t> m_BySocket;
};
