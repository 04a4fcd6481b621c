#include "server/listen_socket.h"

#include "server/server_control.h"

void CListenSocket::OnAccept(int)
{
    AssertOwnThread();
    // A failed accept still starts a session: it cannot greet and ends at once.
    const int handle = AcceptHandle();
    if (m_pOwner != nullptr)
        m_pOwner->StartSession(handle);
}
