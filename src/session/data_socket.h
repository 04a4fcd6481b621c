#pragma once

#include "platform/async_socket.h"

class CControlSocket;

// The data connection of one session, active or passive; lives on the
// session thread and is owned by the session's control socket.
class CDataSocket : public CAsyncSocket {
    Q_OBJECT
public:
    explicit CDataSocket(CControlSocket* pSession);
    ~CDataSocket() override;

    bool IsConnected() const { return m_bConnected; }

private:
    bool m_bConnected = false;
    CControlSocket* m_pSession;
};
