#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/socket.h>

#include <QObject>
#include <QThread>

#include "platform/unique_fd.h"

class QSocketNotifier;

// Socket errors in the numbers the rest of the program tests for.
enum SocketError : int {
    WSAEINVAL = 10022,
    WSAEWOULDBLOCK = 10035,
    WSAEADDRINUSE = 10048,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOTCONN = 10057,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAEACCES = 10013,
    WSAEMFILE = 10024,
    WSAENOTSOCK = 10038,
    WSAEOTHER = 10000,
};

// Notification bits of a socket's event mask.
enum SocketEvent : long {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_OOB = 4,
    FD_ACCEPT = 8,
    FD_CONNECT = 16,
    FD_CLOSE = 32,
};
constexpr long kAllSocketEvents = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
constexpr int kSocketError = -1;

// The directions ShutDown ends.
enum ShutDownHow : int {
    kShutDownReceive = 0,
    kShutDownSend = 1,
    kShutDownBoth = 2,
};

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
// current mask. Urgent data is received inline, so FD_OOB in a mask asks for
// nothing. Like the sockets the sessions were designed against, a
// read notification is not repeated until the handler has received, and a
// write notification comes once at connection and then only after a send
// that would have blocked. The object owns its descriptor and closes it.
class CAsyncSocket : public QObject {
    Q_OBJECT
public:
    CAsyncSocket();
    ~CAsyncSocket() override;
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // Creates the socket bound to port (0: any free port) on address (none:
    // all local addresses). bReuseAddress lets a listener bind again while
    // old connections on its port linger in TIME_WAIT.
    bool Create(uint16_t port = 0, long events = kAllSocketEvents, const char* address = nullptr,
                bool bReuseAddress = false);
    // Takes ownership of the handle.
    bool Attach(int handle, long events = kAllSocketEvents);
    bool AsyncSelect(long events = kAllSocketEvents);
    bool Listen(int backlog);
    // Accepts the waiting connection and hands over its bare descriptor (-1 on
    // failure), for a socket object that another thread will attach.
    int AcceptHandle();
    // The same, with the peer's dotted address from the same call.
    int AcceptHandle(std::string& peerAddress);
    bool Connect(const std::string& host, uint16_t port);
    virtual int Send(const void* data, int length);
    // Sends up to length bytes of an open file, from offset, without passing
    // them through a buffer of ours; 0 when the file has no bytes there. A
    // would-block asks for the next write notification, as Send does.
    int SendFile(int hFile, int64_t offset, int length);
    int Receive(void* buffer, int length, int flags = 0);
    bool ShutDown(ShutDownHow how);
    void Close();
    // Small sends go out at once instead of waiting for the peer to
    // acknowledge the previous one (no Nagle coalescing).
    bool SetNoDelay(bool bOn);
    // Lets the connection notice a peer that vanished without a FIN or RST
    // (see PeerTimeouts).
    bool SetPeerTimeouts(const PeerTimeouts& timeouts);

    bool GetPeerName(std::string& address, uint16_t& port) const;
    // The same for a bare connected handle, as AcceptHandle gives.
    static bool PeerNameOf(int handle, std::string& address, uint16_t& port);
    bool GetSockName(std::string& address, uint16_t& port) const;
    int GetLastError() const { return m_nLastError; }
    int Handle() const { return m_Socket.Get(); }

    // WSA number of an errno value.
    static int ErrorFromErrno(int error);

protected:
    virtual void OnReceive(int nErrorCode);
    virtual void OnSend(int nErrorCode);
    virtual void OnAccept(int nErrorCode);
    virtual void OnConnect(int nErrorCode);
    virtual void OnClose(int nErrorCode);

    void AssertOwnThread() const
    {
        Q_ASSERT_X(thread() == QThread::currentThread(), "CAsyncSocket", "foreign thread");
    }
    void SetLastError(int error) { m_nLastError = error; }

private:
    int AcceptInto(sockaddr* pRemote, socklen_t* pLength);
    int SendResult(int sent);
    void StartNotifiers();
    void StopNotifiers();
    void ArmRead(bool bArmed);
    void ArmWrite(bool bArmed);
    // A notifier fired: false when no notification is due (it is switched off).
    bool TakeNotification(bool& bWanted, QSocketNotifier& notifier);
    // The same, and false also when it completed a connect instead.
    bool TakeDataNotification(bool& bWanted, QSocketNotifier& notifier);
    void OnReadable();
    void OnWritable();
    void CompleteConnect();

    CUniqueFd m_Socket;
    long m_lEvents = 0;
    int m_nLastError = 0;
    bool m_bListening = false;
    bool m_bConnecting = false;
    bool m_bCloseNotified = false;
    // Whether a notification is due when the socket is ready. The notifiers
    // themselves are switched off only when they fire unwanted: switching
    // them costs the event loop a wake-up each time, and a command or a
    // transfer block would otherwise switch them off and on again every time.
    bool m_bReadWanted = false;
    bool m_bWriteWanted = false;
    std::unique_ptr<QSocketNotifier> m_pReadNotifier;
    std::unique_ptr<QSocketNotifier> m_pWriteNotifier;
};
