#pragma once

#include <QByteArray>
#include <QList>

// A plain blocking FTP client for protocol tests: it sends raw bytes and
// reads raw reply lines, so replies are compared byte for byte. While it
// waits it keeps the test thread's events flowing (the server under test may
// accept on that thread). Every wait has a deadline.
class CFtpTestClient {
public:
    static constexpr int kDeadlineMs = 2000;

    CFtpTestClient() = default;
    ~CFtpTestClient();
    CFtpTestClient(const CFtpTestClient&) = delete;
    CFtpTestClient& operator=(const CFtpTestClient&) = delete;

    bool Connect(quint16 port, const char* address = "127.0.0.1");
    void Close();
    // Closes with a reset instead of an orderly close.
    void Reset();

    bool SendRaw(const QByteArray& bytes);
    bool SendLine(const QByteArray& line) { return SendRaw(line + "\r\n"); }
    // One reply line without its CR LF; empty when none came in time.
    QByteArray ReadLine(int timeoutMs = kDeadlineMs);
    // Sends a command line and returns the reply line.
    QByteArray Command(const QByteArray& line) { return SendLine(line) ? ReadLine() : QByteArray(); }
    // True when the server closed the connection within the time.
    bool WaitClosed(int timeoutMs = kDeadlineMs);
    // True when nothing arrives within the time (no reply was sent).
    bool StaysSilent(int timeoutMs = 300);

    // Reads the greeting, logs in as anonymous; true when all replies were right.
    bool Login();

    // Sends PASV, parses the 227 reply and connects a data socket to it;
    // returns the data socket's descriptor or -1.
    int OpenPassive();
    // Opens a listening socket on loopback, sends PORT for it, and returns the
    // listening descriptor (accept with AcceptData) or -1.
    int OpenActive();
    static int AcceptData(int listener, int timeoutMs = kDeadlineMs);
    // Reads a data connection until the peer closes it (or the deadline).
    static QByteArray ReadAll(int dataSocket, int timeoutMs = 10000);
    static bool WriteAll(int dataSocket, const QByteArray& bytes);

    int Handle() const { return m_hSocket; }

private:
    bool WaitReadable(int timeoutMs);

    int m_hSocket = -1;
    QByteArray m_Pending;
};
