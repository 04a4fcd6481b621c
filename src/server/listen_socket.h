#pragma once

#include "platform/async_socket.h"

class CServerControl;

// The listener on the control port; lives on the main thread. Each accepted
// connection becomes a session thread, registered before it runs.
class CListenSocket : public CAsyncSocket {
public:
    // Descriptors kept free for what a new session needs besides its
    // connection: its thread's event loop, a data connection, a file.
    static constexpr int kDescriptorReserve = 32;
    // How long accepting rests while the process has no descriptor left.
    static constexpr int kExhaustedPauseMs = 100;

    ~CListenSocket() override;

    void SetOwner(CServerControl* pOwner) { m_pOwner = pOwner; }

protected:
    void OnAccept(int nErrorCode) override;

private:
    static bool LeavesReserve(SocketHandle hAccepted);
    void PauseAccepting();

    CServerControl* m_pOwner = nullptr;
    // The rest after running out of descriptors (0: none running).
    int m_nPauseTimerId = 0;
};
