#pragma once

#include <cstdint>
#include <functional>
#include <string>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#endif

#include "platform/event_loop.h"
#include "platform/native_file.h"
#include "platform/socket_names.h"
#include "platform/unique_socket.h"

// How long a connection may go without a word from its peer before it is
// given up. While nothing is in flight, keepalive probes start after the idle
// time and repeat at the interval; data (or a probe) left unacknowledged, or
// a peer's window kept shut, for the user timeout ends the connection with
// WSAETIMEDOUT. A peer whose machine is alive answers the probes from its
// kernel, so only one that has vanished is dropped.
struct PeerTimeouts {
    int nKeepIdleSeconds;
    int nKeepIntervalSeconds;
    int nKeepProbes;
    int nUserTimeoutMs;
};

// A non-blocking IPv4 stream socket whose readiness arrives as notifications
// (OnReceive, OnSend, OnAccept, OnConnect, OnClose) on the thread that
// created or attached it, one at a time, and only for the events in its
// current mask. Urgent data is received inline, so FD_OOB asks for nothing
// and no mask of ours holds it. Like the sockets the sessions were designed against, a
// read notification is not repeated until the handler has received, and a
// write notification comes once at connection and then only after a send
// that would have blocked. The object owns its descriptor and closes it.
// The readiness comes from the event loop of the thread that constructs the
// object, so a socket is made on the thread that attaches it.
class CAsyncSocket {
public:
    CAsyncSocket();
    virtual ~CAsyncSocket();
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // Creates the socket bound to port (0: any free port) on address (none:
    // all local addresses). bReuseAddress lets a listener bind again while
    // old connections on its port linger in TIME_WAIT.
    bool Create(uint16_t port = 0, long events = kAllSocketEvents, const char* address = nullptr,
                bool bReuseAddress = false);
    // Takes ownership of the handle.
    bool Attach(SocketHandle handle, long events = kAllSocketEvents);
    bool AsyncSelect(long events = kAllSocketEvents);
    bool Listen(int backlog);
    // Accepts the waiting connection and hands over its bare descriptor (-1 on
    // failure), for a socket object that another thread will attach.
    SocketHandle AcceptHandle();
    // The same, with the peer's dotted address from the same call.
    SocketHandle AcceptHandle(std::string& peerAddress);
    bool Connect(const std::string& host, uint16_t port);
    virtual int Send(const void* data, int length);
    // Sends up to length bytes of an open file, from offset, without passing
    // them through a buffer of ours; 0 when the file has no bytes there. A
    // would-block asks for the next write notification, as Send does.
    int SendFile(FileHandle hFile, int64_t offset, int length);
    int Receive(void* buffer, int length, int flags = 0);
    // Receives without taking: the bytes stay queued for the next Receive.
    int Peek(void* buffer, int length) { return Receive(buffer, length, MSG_PEEK); }
    bool ShutDown(ShutDownHow how);
    void Close();
    // Small sends go out at once instead of waiting for the peer to
    // acknowledge the previous one (no Nagle coalescing).
    bool SetNoDelay(bool bOn);
    // Lets the connection notice a peer that vanished without a FIN or RST
    // (see PeerTimeouts).
    bool SetPeerTimeouts(const PeerTimeouts& timeouts);

    // The peer's dotted address and port of a bare connected handle, as
    // AcceptHandle gives.
    static bool PeerNameOf(SocketHandle handle, std::string& address, uint16_t& port);
    bool GetSockName(std::string& address, uint16_t& port) const;
    int GetLastError() const { return m_nLastError; }
    SocketHandle Handle() const { return m_Socket.Get(); }
    bool IsOpen() const { return m_Socket.Valid(); }

    // WSA number of an errno value.
    static int ErrorFromErrno(int error);

protected:
    virtual void OnReceive(int nErrorCode);
    virtual void OnSend(int nErrorCode);
    virtual void OnAccept(int nErrorCode);
    virtual void OnConnect(int nErrorCode);
    virtual void OnClose(int nErrorCode);

    void AssertOwnThread() const { m_Residence.AssertOwnThread(); }
    void SetLastError(int error) { m_nLastError = error; }
    // Any thread: a call to this socket on its own thread, later; dropped if
    // the socket is gone by then.
    bool PostToSelf(std::function<void()> call) const { return m_Residence.Post(std::move(call)); }
    CEventLoop& Loop() const { return m_Residence.Loop(); }

private:
    SocketHandle AcceptInto(sockaddr* pRemote, socklen_t* pLength);
    int SendResult(int sent);
    void StartNotifiers();
    void StopNotifiers();
    void ArmRead(bool bArmed);
    void ArmWrite(bool bArmed);
    void Watch(bool bRead, bool bWrite);
    // The loop reported readiness: false when no notification is due (the
    // loop then stops watching for it).
    bool TakeNotification(bool& bWanted, CEventLoop::Readiness readiness);
    // The same, and false also when it completed a connect instead.
    bool TakeDataNotification(bool& bWanted, CEventLoop::Readiness readiness);
    void OnReadable();
    void OnWritable();
    void CompleteConnect();

    // Declared first: the socket leaves its loop last.
    CEventLoop::CResident m_Residence;
    CUniqueSocket m_Socket;
    long m_lEvents = 0;
    int m_nLastError = 0;
    bool m_bListening = false;
    bool m_bConnecting = false;
    bool m_bCloseNotified = false;
    // Whether a notification is due when the socket is ready. The loop stops
    // watching a direction only when it is reported unwanted: changing what
    // it watches costs a system call each time, and a command or a transfer
    // block would otherwise switch it off and on again every time.
    bool m_bReadWanted = false;
    bool m_bWriteWanted = false;
    // What the loop watches for, under the registration m_nWatchId (0: none).
    bool m_bReadWatched = false;
    bool m_bWriteWatched = false;
    std::uint64_t m_nWatchId = 0;
};
