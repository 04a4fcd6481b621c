#include "process_resources.h"


#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>

#include "socket_ends.h"

namespace {

// Handles are multiples of four; a test process holds a few hundred, a
// crowd of sessions some thousands.
constexpr UINT_PTR kHandleStep = 4;
constexpr UINT_PTR kHighestHandle = 1 << 18;

} // namespace

int CProcessResources::ThreadCount()
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    const DWORD self = ::GetCurrentProcessId();
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self)
            ++count;
    }
    ::CloseHandle(snapshot);
    return count;
}

int CProcessResources::OpenFileCount()
{
    DWORD count = 0;
    return ::GetProcessHandleCount(::GetCurrentProcess(), &count) ? static_cast<int>(count) : -1;
}

// Windows sets no limit on the handles or sockets a process holds.
bool CProcessResources::RaiseFileLimit(long)
{
    return true;
}

SocketHandle CProcessResources::PeerSocketOf(SocketHandle socket)
{
    SocketEnds wanted;
    if (!wanted.Read(socket))
        return kNoSocket;
    for (UINT_PTR candidate = kHandleStep; candidate < kHighestHandle; candidate += kHandleStep) {
        SocketEnds ends;
        if (candidate != socket && ends.Read(candidate) && ends.IsOtherEndOf(wanted))
            return candidate;
    }
    return kNoSocket;
}
