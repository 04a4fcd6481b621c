#include "platform/thread.h"

#include <process.h>
#include <windows.h>

namespace {

// The longest one look at a starting thread waits before it looks again.
constexpr DWORD kStartLookMs = 1;

} // namespace

std::uint32_t CThread::CurrentThreadId()
{
    return static_cast<std::uint32_t>(::GetCurrentThreadId());
}

// The C runtime's own start, so that its per-thread state is set up and
// freed with the thread. The handle is closed at once: the end signal, not
// the handle, is what a join waits on, as with a detached thread.
void CThread::ResumeThread()
{
    auto start = [](void* pThread) -> unsigned {
        CThread::Entry(pThread);
        return 0;
    };
    const unsigned stackBytes = static_cast<unsigned>(m_nStackBytes);
    const uintptr_t hThread = ::_beginthreadex(nullptr, stackBytes, start, this,
                                               stackBytes > 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, nullptr);
    m_bStarted = hThread != 0;
    if (!m_bStarted)
        return;
    ::CloseHandle(reinterpret_cast<HANDLE>(hThread));
    // The C++ library's atomic wait can miss its wake-up with this compiler on
    // Windows (the listener then waited for a session that had long ended),
    // so the system's own wait on the id is used, looking again each moment.
    std::uint32_t unstarted = 0;
    while (m_nThreadId.load() == 0)
        ::WaitOnAddress(&m_nThreadId, &unstarted, sizeof(unstarted), kStartLookMs);
}

// By the thread id: the thread may be ending, and its creation handle is gone.
void CThread::RaisePriority()
{
    const DWORD id = m_nThreadId.load();
    if (id == 0)
        return;
    HANDLE hThread = ::OpenThread(THREAD_SET_INFORMATION, FALSE, id);
    if (hThread == nullptr)
        return;
    ::SetThreadPriority(hThread, THREAD_PRIORITY_HIGHEST);
    ::CloseHandle(hThread);
}
