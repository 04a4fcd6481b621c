#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "test_socket.h"

// The FTP client of every test and benchmark: it sends raw bytes and reads
// raw reply lines, so replies are compared byte for byte, or whole
// (multi-line) replies by their code. Every wait has a deadline; how it waits
// is the client's policy: pumping the thread's events (the server under test
// may accept on the test's thread) or blocking (worker threads of load tests,
// benchmarks against other servers).
class CFtpTestClient {
public:
    using Wait = CTestSocket::Wait;
    using Deadline = CTestSocket::Deadline;
    static constexpr int kDeadlineMs = CTestSocket::kDeadlineMs;
    static constexpr int kDataDeadlineMs = 10000;

    explicit CFtpTestClient(Wait wait = Wait::PumpEvents, int timeoutMs = kDeadlineMs);
    CFtpTestClient(const CFtpTestClient&) = delete;
    CFtpTestClient& operator=(const CFtpTestClient&) = delete;

    bool Connect(uint16_t port, const char* address = "127.0.0.1");
    bool Connect(uint16_t port, Deadline deadline);
    void Close();
    // Closes with a reset instead of an orderly close.
    void Reset();
    // Control lines go out at once instead of waiting for Nagle.
    void SetNoDelay();
    // Acknowledge reads at once instead of after the delayed-ACK timer, so a
    // server that waits for our ACK is measured for its own work.
    void SetQuickAck(bool bQuickAck) { m_bQuickAck = bQuickAck; }
    bool QuickAck() const { return m_bQuickAck; }
    // Passive data connections go to the address of the control connection,
    // whatever address the 227 reply names, so no traffic leaves it.
    void SetPassiveToControlPeer() { m_bPassiveToControlPeer = true; }

    bool SendRaw(std::string_view bytes);
    bool SendLine(std::string_view line) { return SendRaw(std::string(line) + "\r\n"); }
    // One reply line without its CR LF; empty when none came in time.
    std::string ReadLine(int timeoutMs = -1);
    std::string ReadLine(Deadline deadline);
    // Sends a command line and returns the reply line.
    std::string Command(std::string_view line) { return SendLine(line) ? ReadLine() : std::string(); }
    // One complete (possibly multi-line) reply: its code, or -1; the reply,
    // or what went wrong, is then LastReply().
    int ReadReply(Deadline deadline);
    int CommandCode(std::string_view line, Deadline deadline);
    const std::string& LastReply() const { return m_strLastReply; }
    // True when the server closed the connection within the time.
    bool WaitClosed(int timeoutMs = -1);
    // True when nothing arrives within the time (no reply was sent).
    bool StaysSilent(int timeoutMs = 300);

    // Reads the greeting, logs in as anonymous; true when all replies were right.
    bool Login();
    // A client of the port on 127.0.0.1 that pumps events, connected and
    // greeted, or null.
    static std::unique_ptr<CFtpTestClient> Greeted(uint16_t port);
    // A client of the port on 127.0.0.1 that pumps events, connected and logged in, or null.
    static std::unique_ptr<CFtpTestClient> LoggedIn(uint16_t port);
    // QUIT (any 2xx farewell), then waits for the server to close its side so
    // its TIME_WAIT stays with it.
    bool Quit(Deadline deadline);

    // PASV and a data connection to the address it names.
    CUniqueSocket OpenPassive();
    CUniqueSocket OpenPassive(Deadline deadline);
    // A listener on loopback announced with PORT (accept with AcceptData).
    CUniqueSocket OpenActive();
    CUniqueSocket AcceptData(SocketHandle listener, int timeoutMs = -1) const;
    // A listener on a free loopback port and the PORT command that names it.
    static CUniqueSocket ListenForActive(std::string& portCommand);
    // A connection to the port on 127.0.0.1 made from the local address
    // (another loopback address plays another machine).
    CUniqueSocket ConnectFrom(const char* localAddress, uint16_t port) const;
    // Reads a data connection until the peer closes it (or the deadline).
    std::string ReadAll(int dataSocket, int timeoutMs = -1) const;
    bool WriteAll(int dataSocket, std::string_view bytes) const;
    // Waits until the data connection has carried that many bytes (the
    // transfer is under way); false at the deadline or the end.
    bool ReadAtLeast(int dataSocket, int64_t bytes) const;

    int Handle() const { return m_socket.Get(); }
    Wait WaitPolicy() const { return m_eWait; }

private:
    Deadline In(int timeoutMs) const { return CTestSocket::DeadlineIn(timeoutMs < 0 ? m_nTimeoutMs : timeoutMs); }
    Deadline DataDeadline(int timeoutMs) const;
    bool NextLine(Deadline deadline, std::string& line);
    bool Fail(const std::string& why);

    Wait m_eWait;
    int m_nTimeoutMs;
    bool m_bQuickAck = false;
    bool m_bPassiveToControlPeer = false;
    CUniqueSocket m_socket;
    std::string m_Pending;
    std::string m_strLastReply;
};
