#pragma once

#include "data_pump.h"
#include "platform/unique_fd.h"

#include <string>
#include <string_view>

// One control connection of the benchmark client, used by one thread. Commands wait for
// their reply with a deadline; passive data connections go to the loopback address the
// control connection uses, whatever address the 227 reply names, so no traffic leaves it.
class CFtpClient {
public:
    using Clock = BenchData::Clock;

    // Connects and reads the greeting: false if either fails before the deadline.
    bool Open(int port, Clock::time_point deadline);
    // USER anonymous, PASS, TYPE I.
    bool Login(Clock::time_point deadline);
    // QUIT (any 2xx farewell), then waits for the server to close its side so its TIME_WAIT stays with it.
    bool Quit(Clock::time_point deadline);

    // Sends one line and reads the complete reply: its code, or -1.
    int Command(std::string_view line, Clock::time_point deadline);
    bool SendLine(std::string_view line);
    // Reads one complete (possibly multi-line) reply: its code, or -1.
    int ReadReply(Clock::time_point deadline);

    // PASV and a connection to the port it names.
    CUniqueFd OpenPassive(Clock::time_point deadline);

    // Acknowledge reads at once instead of after the delayed-ACK timer (control here, data
    // in the transfer loops), so a server that waits for our ACK (a lingering close of the
    // data connection, a Nagle-held reply) is measured for its own work, not our 40 ms timer.
    void SetQuickAck(bool bQuickAck) { m_bQuickAck = bQuickAck; }
    bool QuickAck() const { return m_bQuickAck; }

    const std::string& LastReply() const { return m_strLastReply; }
    int ControlFd() const { return m_socket.Get(); }

private:
    bool ReadLine(std::string& line, Clock::time_point deadline);

    CUniqueFd m_socket;
    int m_nPort = 0;
    bool m_bQuickAck = true;
    std::string m_strPending;
    std::string m_strLastReply;
};

// The data port in a 227 reply: the last two of the six numbers after the last '('; -1
// if the reply does not hold them.
int ParsePassivePort(std::string_view reply);
