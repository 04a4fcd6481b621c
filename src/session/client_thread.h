#pragma once

#include <memory>
#include <string>

#include "platform/thread.h"
#include "platform/unique_socket.h"
#include "session/control_host.h"

class CControlSocket;

// One FTP session: a thread of its own that owns the control connection (and
// through it the data connection). Created by the listener with the accepted
// socket, registered, then resumed; everything the session does happens on
// this thread. The listener's side has the object delete itself once the
// thread has ended.
class CClientThread : public CThread, public IControlHost {
public:
    // Measured with real clients listing, mirroring, downloading and
    // uploading, a session touches at most 64 KiB of its stack (an idle one
    // 8 KiB). The usual 8 MiB would reserve 70 GB of address space for 9,000
    // clients, which a system that does not overcommit memory refuses long
    // before; eight times the measure leaves room for sanitizer builds.
    static constexpr std::size_t kStackBytes = 512 * 1024;

    CClientThread(SocketHandle hAcceptedSocket, std::shared_ptr<ISessionHost> pHost);
    ~CClientThread() override;

    void PostLog(const std::string& text) override;
    void QuitSession() override { PostQuitMessage(); }
    ISessionHost& Host() const override { return *m_pHost; }
    const std::string& PeerAddress() const override { return m_strPeerAddress; }

protected:
    bool InitInstance() override;
    int ExitInstance() override;

private:
    CUniqueSocket m_AcceptedSocket;
    std::shared_ptr<ISessionHost> m_pHost;
    // Created on the session thread, so that its notifications arrive there.
    std::unique_ptr<CControlSocket> m_pControlSocket;
    std::string m_strPeerAddress;
};
