#pragma once

#include "platform/async_socket.h"

class CServerControl;

// The listener on the control port; lives on the main thread. Each accepted
// connection becomes a session thread, registered before it runs.
class CListenSocket : public CAsyncSocket {
    Q_OBJECT
public:
    void SetOwner(CServerControl* pOwner) { m_pOwner = pOwner; }

protected:
    void OnAccept(int nErrorCode) override;

private:
    CServerControl* m_pOwner = nullptr;
};
