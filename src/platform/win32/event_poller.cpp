#include "platform/win32/event_poller.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/event_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kWindowClass[] = L"TesselEventLoop";

[[noreturn]] void FailWithoutWindow()
{
    std::fprintf(stderr, "event loop: no window (error %lu)\n", ::GetLastError());
    std::abort();
}

bool HasEventFrom(const std::deque<CEventPoller::Event>& events, CEventPoller::Source source)
{
    return std::ranges::any_of(events, [source](const CEventPoller::Event& event) { return event.source == source; });
}

thread_local int t_nDeliveredError = 0;

// For the length of one delivery: handlers run one at a time on the thread.
class CDeliveredError {
public:
    explicit CDeliveredError(int nError) { t_nDeliveredError = nError; }
    ~CDeliveredError() { t_nDeliveredError = 0; }
    CDeliveredError(const CDeliveredError&) = delete;
    CDeliveredError& operator=(const CDeliveredError&) = delete;
};

} // namespace

CEventPoller::CEventPoller()
{
    static const ATOM windowClass = [] {
        WNDCLASSEXW description = {};
        description.cbSize = sizeof(description);
        description.lpfnWndProc = &CEventPoller::WindowProcedure;
        description.hInstance = ::GetModuleHandleW(nullptr);
        description.lpszClassName = kWindowClass;
        return ::RegisterClassExW(&description);
    }();
    if (windowClass == 0)
        FailWithoutWindow();
    m_hWindow = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (m_hWindow == nullptr)
        FailWithoutWindow();
    ::SetWindowLongPtrW(m_hWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

// Its sockets have been unwatched by their owners by now; a window can only be
// destroyed by its own thread, and one whose thread has ended is gone already.
CEventPoller::~CEventPoller()
{
    ::SetWindowLongPtrW(m_hWindow, GWLP_USERDATA, 0);
    ::DestroyWindow(m_hWindow);
}

// A message loop that is not the event loop's own (a dialog's) dispatches the
// window's messages here: what they bring runs at once, inside that loop.
// Tasks left queued after that round post the wake-up again, since nothing
// else would bring them to that loop's attention.
LRESULT CALLBACK CEventPoller::WindowProcedure(HWND hWindow, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* pPoller = reinterpret_cast<CEventPoller*>(::GetWindowLongPtrW(hWindow, GWLP_USERDATA));
    const bool bOurs = message == kWakeMessage || message == WM_TIMER
        || (message >= kFirstSocketMessage && message < kFirstSocketMessage + kSocketMessages);
    if (pPoller == nullptr || !bOurs)
        return ::DefWindowProcW(hWindow, message, wParam, lParam);
    pPoller->OnMessage(message, wParam, lParam);
    if (!pPoller->m_bWaiting) {
        CEventLoop::Current().RunPending();
        if (pPoller->m_bWakeSet.load() || !pPoller->m_Ready.empty())
            ::PostMessageW(hWindow, kWakeMessage, 0, 0);
    }
    return 0;
}

void CEventPoller::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kWakeMessage) {
        if (m_bWakeSet.load() && !HasEventFrom(m_Ready, Source::Posted))
            m_Ready.push_back(Event{Source::Posted, 0, false, false, false, 0});
    } else if (message == WM_TIMER) {
        if (wParam == kTimerId && !HasEventFrom(m_Ready, Source::Timer))
            m_Ready.push_back(Event{Source::Timer, 0, false, false, false, 0});
    } else {
        OnSocketMessage(message, static_cast<SOCKET>(wParam), lParam);
    }
}

void CEventPoller::OnSocketMessage(UINT message, SOCKET hSocket, LPARAM lParam)
{
    const auto bySocket = m_BySocket.find(hSocket);
    if (bySocket == m_BySocket.end())
        return;
    const auto found = m_Registrations.find(bySocket->second);
    if (found == m_Registrations.end() || found->second.nMessage != message)
        return;
    const WORD events = WSAGETSELECTEVENT(lParam);
    const bool bHangUp = (events & FD_CLOSE) != 0;
    if (bHangUp)
        found->second.bHungUp = true;
    const bool bReadable = (events & (FD_READ | FD_ACCEPT | FD_OOB | FD_CLOSE)) != 0;
    const bool bWritable = (events & (FD_WRITE | FD_CONNECT)) != 0;
    m_Ready.push_back(Event{Source::Socket, found->first, bReadable, bWritable, bHangUp, WSAGETSELECTERROR(lParam)});
}

// The post is the wake-up; the flag says whether it still stands, so that a
// wake-up message taken after its tasks already ran is passed over.
void CEventPoller::Wake()
{
    m_bWakeSet.store(true);
    ::PostMessageW(m_hWindow, kWakeMessage, 0, 0);
}

void CEventPoller::ClearWake()
{
    m_bWakeSet.store(false);
}

// The window's timer ticks no finer than the system's timer; the loop's own
// waits end at the deadline itself, so its timers are only as late as the wait.
void CEventPoller::ArmTimer(std::optional<Deadline> deadline)
{
    m_TimerDeadline = deadline;
    if (!deadline) {
        ::KillTimer(m_hWindow, kTimerId);
        return;
    }
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    ::SetTimer(m_hWindow, kTimerId, static_cast<UINT>(std::max<long long>(remaining, USER_TIMER_MINIMUM)), nullptr);
}

void CEventPoller::AddTimerEventIfDue()
{
    if (m_TimerDeadline && *m_TimerDeadline <= Clock::now() && !HasEventFrom(m_Ready, Source::Timer))
        m_Ready.push_back(Event{Source::Timer, 0, false, false, false, 0});
}

// Only this window's messages: in the wait, a message that has been looked
// at no longer ends it, so the wait cannot spin on the other windows of a
// thread that someone else pumps.
void CEventPoller::TakeMessages()
{
    MSG message;
    while (::PeekMessageW(&message, m_hWindow, 0, 0, PM_REMOVE))
        OnMessage(message.message, message.wParam, message.lParam);
}

void CEventPoller::Wait(int timeoutMs, std::vector<Event>& events)
{
    events.clear();
    m_bWaiting = true;
    TakeMessages();
    AddTimerEventIfDue();
    if (m_Ready.empty() && timeoutMs != 0) {
        long long waitMs = timeoutMs < 0 ? INFINITE : timeoutMs;
        if (m_TimerDeadline) {
            const auto untilTimer = std::chrono::ceil<std::chrono::milliseconds>(*m_TimerDeadline - Clock::now()).count();
            waitMs = std::clamp<long long>(untilTimer, 0, waitMs);
        }
        if (waitMs > 0)
            ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(waitMs), QS_ALLINPUT, 0);
        TakeMessages();
        AddTimerEventIfDue();
    }
    m_bWaiting = false;
    if (!m_Ready.empty()) {
        events.push_back(m_Ready.front());
        m_Ready.pop_front();
    }
}

UINT CEventPoller::NextSocketMessage()
{
    m_nLastSocketMessage = (m_nLastSocketMessage + 1) % kSocketMessages;
    return kFirstSocketMessage + m_nLastSocketMessage;
}

// The end of the connection is asked for always: it comes only once, and is
// kept for when reading is asked for again.
void CEventPoller::Select(const Registration& registration)
{
    long events = FD_CLOSE;
    if (registration.bRead)
        events |= FD_READ | FD_ACCEPT;
    if (registration.bWrite)
        events |= FD_WRITE | FD_CONNECT;
    ::WSAAsyncSelect(registration.hSocket, m_hWindow, registration.nMessage, events);
}

std::uint64_t CEventPoller::Watch(SocketHandle hSocket, bool bRead, bool bWrite, std::function<void(bool bWrite)> handler)
{
    const std::uint64_t watchId = ++m_nLastWatchId;
    Registration registration{hSocket, NextSocketMessage(), bRead, bWrite, false, std::move(handler)};
    Select(registration);
    m_Registrations.emplace(watchId, std::move(registration));
    m_BySocket[hSocket] = watchId;
    return watchId;
}

void CEventPoller::SetInterest(std::uint64_t watchId, bool bRead, bool bWrite)
{
    const auto found = m_Registrations.find(watchId);
    if (found == m_Registrations.end())
        return;
    Registration& registration = found->second;
    const bool bReadAgain = bRead && !registration.bRead;
    registration.bRead = bRead;
    registration.bWrite = bWrite;
    Select(registration);
    if (bReadAgain && registration.bHungUp)
        m_Ready.push_back(Event{Source::Socket, watchId, true, false, true, 0});
}

void CEventPoller::Unwatch(std::uint64_t watchId)
{
    const auto found = m_Registrations.find(watchId);
    if (found == m_Registrations.end())
        return;
    const SocketHandle hSocket = found->second.hSocket;
    ::WSAAsyncSelect(hSocket, m_hWindow, 0, 0);
    if (const auto bySocket = m_BySocket.find(hSocket); bySocket != m_BySocket.end() && bySocket->second == watchId)
        m_BySocket.erase(bySocket);
    m_Registrations.erase(found);
}

int CEventPoller::DeliveredError()
{
    return t_nDeliveredError;
}

// The handler may end its own registration, so it runs from a copy.
void CEventPoller::Deliver(const Event& event)
{
    const CDeliveredError error(event.nError);
    auto found = m_Registrations.find(event.watchId);
    if (found != m_Registrations.end() && event.bReadable && found->second.bRead) {
        const auto handler = found->second.handler;
        handler(false);
        found = m_Registrations.find(event.watchId);
    }
    if (found != m_Registrations.end() && event.bWritable && found->second.bWrite) {
        const auto handler = found->second.handler;
        handler(true);
        found = m_Registrations.find(event.watchId);
    }
    if (found != m_Registrations.end() && found->second.bHungUp && found->second.bRead)
        m_Ready.push_back(Event{Source::Socket, event.watchId, true, false, true, 0});
}
