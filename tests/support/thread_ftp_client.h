#pragma once

#include <QByteArray>

// A blocking FTP client for worker threads of load tests: plain sockets
// whose every call gives up after the client's time limit, and no event
// processing, so that hundreds of them can run at once, each on a thread of
// its own, against a server whose listener runs on the test's main thread.
class CThreadFtpClient {
public:
    explicit CThreadFtpClient(int timeoutMs = 30000) : m_nTimeoutMs(timeoutMs) {}
    ~CThreadFtpClient();
    CThreadFtpClient(const CThreadFtpClient&) = delete;
    CThreadFtpClient& operator=(const CThreadFtpClient&) = delete;

    bool Connect(quint16 port, const char* address = "127.0.0.1");
    void Close();
    // Ends the connection with a reset instead of an orderly close.
    void Reset();

    bool SendLine(const QByteArray& line);
    // One reply line without its CR LF; empty when none came in time.
    QByteArray ReadLine();
    QByteArray Command(const QByteArray& line) { return SendLine(line) ? ReadLine() : QByteArray(); }
    // Greeting, USER anonymous, PASS: true when every reply was right.
    bool Login();
    // True when the server closed the connection in time.
    bool WaitClosed();

    // PASV and a data connection to the port it names; the descriptor or -1.
    int OpenPassive();
    // A listener on loopback announced with PORT; the listener or -1.
    int OpenActive();
    // The data connection the server made to an OpenActive listener, or -1.
    int AcceptData(int listener) const;
    // Everything the data connection carries until the server closes it.
    QByteArray ReadAll(int dataSocket) const;
    bool WriteAll(int dataSocket, const QByteArray& bytes) const;

    int Handle() const { return m_hSocket; }

private:
    int ConnectTo(const char* address, quint16 port) const;
    void ApplyTimeouts(int handle) const;

    int m_nTimeoutMs;
    int m_hSocket = -1;
    QByteArray m_Pending;
};
