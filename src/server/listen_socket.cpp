#include "server/listen_socket.h"

#include "platform/descriptor_limit.h"
#include "platform/unique_socket.h"
#include "server/server_control.h"

CListenSocket::~CListenSocket()
{
    if (m_nPauseTimerId != 0)
        Loop().CancelTimer(m_nPauseTimerId);
}

void CListenSocket::OnAccept(int)
{
    AssertOwnThread();
    // A session thread that cannot get a descriptor for its event loop ends
    // the whole program, so near the process's limit a client is turned away
    // rather than given a session; and while nothing can be accepted at all,
    // accepting rests instead of spinning on the connection that stays queued.
    const SocketHandle handle = AcceptHandle();
    if (handle == kNoSocket && GetLastError() == WSAEMFILE) {
        PauseAccepting();
        return;
    }
    // Turned away: the connection closes with its owner here.
    if (handle != kNoSocket && !LeavesReserve(handle)) {
        CUniqueSocket turnedAway(handle);
        return;
    }
    // Any other failed accept still starts a session: it cannot greet and ends at once.
    if (m_pOwner != nullptr)
        m_pOwner->StartSession(handle);
}

bool CListenSocket::LeavesReserve(SocketHandle hAccepted)
{
    // Descriptors are handed out lowest first, so every one below the new
    // handle is in use and at most the ones above it are free.
    const long long limit = CDescriptorLimit::Soft();
    return limit < 0 || static_cast<long long>(hAccepted) + kDescriptorReserve < limit;
}

void CListenSocket::PauseAccepting()
{
    AsyncSelect(kAllSocketEvents & ~FD_ACCEPT);
    if (m_nPauseTimerId != 0)
        Loop().CancelTimer(m_nPauseTimerId);
    m_nPauseTimerId = Loop().StartTimer(kExhaustedPauseMs, [this] {
        m_nPauseTimerId = 0;
        if (IsOpen())
            AsyncSelect(kAllSocketEvents);
    });
}
