#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/event_loop.h"
#include "platform/text_table.h"
#include "session/data_socket.h"

// The data connection of one session as its commands see it: the passive
// listener or the active target (PORT), the REST offset, and the data socket
// with its number. Owned by the control socket and used on the session
// thread only. It speaks to its session through two hooks: a reply for the
// client, and the word that no transfer runs any more.
//
// Open waits for the connection inside the command (the session's one
// nested wait): the session's other events, and further commands, run during
// it and may drop or replace the data socket, so what the command may rely
// on afterwards is decided in one step when the wait is over.
class CDataChannel {
public:
    static constexpr int kConnectTimeoutMs = 5000;
    // A passive data listener waits for the one client that asked for it.
    static constexpr int kPassiveBacklog = 5;

    struct Session {
        std::function<void(TextTemplate<>)> reply;
        std::function<void()> idle;
    };

    // When a released connection goes: at once, or once the session thread
    // takes its next message (so that the code that ended a transfer, which
    // may be the data socket's own, has returned first).
    enum class When { Now, Posted };

    // strPeer is the address of the control connection's client: the only
    // one a passive port accepts and an active connection may go to. It is
    // borrowed from the session, which outlives its channel.
    CDataChannel(const std::string& strPeer, Session session);
    ~CDataChannel();

    // PASV: the current connection is dropped and a listener opened on a
    // free port; false when no socket could be made (nothing is left open).
    bool EnterPassive(uint16_t& nPort);
    // PORT: only the fields present change their part of the target.
    void TakePortArgument(std::string_view argument);
    void SetRestartOffset(int64_t nOffset) { m_nRestartOffset = nOffset; }
    int64_t RestartOffset() const { return m_nRestartOffset; }
    bool HasConnection() const { return m_pSocket != nullptr; }
    const std::string& Peer() const { return m_strPeer; }

    // Makes the data connection a completed one, waiting up to 5 s; false
    // after a failure reply (the caller then releases the connection). An
    // upload is told to the socket before the wait, so that a close during
    // it is taken for the end of an upload that never began.
    bool Open(CDataSocket::Transfer transfer);
    // Each sets the socket to report every event and starts the transfer;
    // a file transfer starts at the REST offset.
    void StartList(std::string listing);
    void StartDownload(const std::string& path);
    void StartUpload(const std::string& path);
    // Ends the connection: what it was set up with (PORT target, REST offset,
    // passive mode) is forgotten at once, so whatever the client sends next is
    // for the next connection, and its transfer stops; the socket itself goes
    // as when says. A posted release destroys only the socket it was made
    // for: a newer one, made before the message is taken, is left alone.
    void Release(When when);

    // The data socket's word: its transfer ended with this reply.
    void EndTransfer(TextTemplate<> reply);
    // The data socket's word: the client closed the connection. bDrop when
    // no transfer was set up on it, so nothing else lets it go.
    void OnConnectionClosed(bool bDrop);

    // The one place an active data connection may go: the client's own
    // address, on a port that is not a system service's.
    static bool IsPermittedDataTarget(std::string_view strHost, int nPort, std::string_view strPeer);
    // The PORT argument's fields into the target's host text and port.
    static void ApplyPortArgument(std::string_view argument, std::string& strHost, int& nPort);

private:
    bool ConnectActive();
    bool CheckConnectionAfterWait();
    void NewSocket();
    void ForgetSettings();
    void CloseSocket(uint64_t nSocketNumber);
    bool Refuse(TextTemplate<> reply);

    // Its posted releases are dropped once it is gone.
    CEventLoop::CResident m_Residence;
    const std::string& m_strPeer;
    Session m_Session;
    bool m_bPassive = false;
    std::string m_strHost;
    int m_nPort = -1;
    int64_t m_nRestartOffset = 0;
    std::unique_ptr<CDataSocket> m_pSocket;
    // Counts the sockets made, so that a posted release names its own.
    uint64_t m_nSocketNumber = 0;
};
