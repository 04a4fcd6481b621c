#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fake_session_host.h"
#include "platform/async_socket.h"
#include "platform/thread.h"

class CClientThread;

// Starts real sessions, as the server's own code starts them, without the
// server control: a listener on 127.0.0.1 on a port the system picks, on the
// calling thread, and a host: a recording one for protocol tests unless one
// is given (benchmarks). Every session is stopped when the harness ends.
class CSessionHarness : public CAsyncSocket {
public:
    // With no host given the harness records what sessions post (Host()).
    explicit CSessionHarness(std::shared_ptr<ISessionHost> pHost = nullptr);
    ~CSessionHarness() override;

    uint16_t Port() const { return m_nPort; }
    CFakeSessionHost& Host() { return *m_pRecorder; }
    // True once every session started so far has ended.
    bool AllSessionsEnded() const;

protected:
    void OnAccept(int nErrorCode) override;

private:
    std::shared_ptr<CFakeSessionHost> m_pRecorder;
    std::shared_ptr<ISessionHost> m_pHost;
    // A session deletes itself here once ended; its end signal outlives it.
    struct Session {
        CClientThread* pThread;
        std::shared_ptr<const CThread::CEndSignal> pEnd;
    };
    std::vector<Session> m_Sessions;
    uint16_t m_nPort = 0;
};
