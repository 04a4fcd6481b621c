#pragma once

#include <memory>
#include <vector>

#include <QPointer>

#include "fake_session_host.h"
#include "platform/async_socket.h"

class CClientThread;

// Starts real sessions for protocol tests without the server control: a
// listener on 127.0.0.1 on a port the system picks, on the test's thread,
// and a recording host. Every session is stopped when the harness ends.
class CSessionHarness : public CAsyncSocket {
    Q_OBJECT
public:
    CSessionHarness();
    ~CSessionHarness() override;

    quint16 Port() const { return m_nPort; }
    CFakeSessionHost& Host() { return *m_pHost; }
    std::shared_ptr<CFakeSessionHost> SharedHost() const { return m_pHost; }
    // True once every session started so far has ended.
    bool AllSessionsEnded() const;

protected:
    void OnAccept(int nErrorCode) override;

private:
    std::shared_ptr<CFakeSessionHost> m_pHost = std::make_shared<CFakeSessionHost>();
    std::vector<QPointer<CClientThread>> m_Sessions;
    quint16 m_nPort = 0;
};
