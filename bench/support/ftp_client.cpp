#include "ftp_client.h"

#include <sys/socket.h>

#include <cerrno>
#include <charconv>
#include <cstring>

bool CFtpClient::Open(int port, Clock::time_point deadline)
{
    m_nPort = port;
    m_strPending.clear();
    m_socket = BenchData::ConnectLoopback(port, deadline, true);
    if (!m_socket.Valid()) {
        m_strLastReply = std::string("(connect: ") + std::strerror(errno) + ")";
        return false;
    }
    return ReadReply(deadline) == 220;
}

bool CFtpClient::Login(Clock::time_point deadline)
{
    const int user = Command("USER anonymous", deadline);
    if (user == 230)
        return Command("TYPE I", deadline) > 0;
    return user == 331 && Command("PASS bench@localhost", deadline) == 230
        && Command("TYPE I", deadline) > 0;
}

bool CFtpClient::Quit(Clock::time_point deadline)
{
    // Servers differ in the code of their farewell; any completion reply will do.
    const int code = Command("QUIT", deadline);
    if (code < 200 || code > 299)
        return false;
    char byte = 0;
    while (BenchData::Clock::now() < deadline) {
        const ssize_t got = ::recv(m_socket.Get(), &byte, 1, 0);
        if (got == 0)
            break;
        if (got < 0 && errno != EINTR)
            return false;
    }
    m_socket.Reset();
    return true;
}

int CFtpClient::Command(std::string_view line, Clock::time_point deadline)
{
    return SendLine(line) ? ReadReply(deadline) : -1;
}

bool CFtpClient::SendLine(std::string_view line)
{
    std::string wire(line);
    wire += "\r\n";
    std::size_t done = 0;
    while (done < wire.size()) {
        const ssize_t sent = ::send(m_socket.Get(), wire.data() + done, wire.size() - done, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

int CFtpClient::ReadReply(Clock::time_point deadline)
{
    std::string line;
    if (!ReadLine(line, deadline) || line.size() < 3)
        return -1;
    m_strLastReply = line;
    int code = 0;
    if (std::from_chars(line.data(), line.data() + 3, code).ec != std::errc())
        return -1;
    // A multi-line reply ends with the line that starts with the same code and a blank.
    if (line.size() > 3 && line[3] == '-') {
        const std::string last = line.substr(0, 3) + ' ';
        do {
            if (!ReadLine(line, deadline))
                return -1;
            m_strLastReply += '\n' + line;
        } while (line.compare(0, 4, last) != 0);
    }
    return code;
}

bool CFtpClient::ReadLine(std::string& line, Clock::time_point deadline)
{
    char buffer[4096];
    for (;;) {
        const std::size_t end = m_strPending.find("\r\n");
        if (end != std::string::npos) {
            line.assign(m_strPending, 0, end);
            m_strPending.erase(0, end + 2);
            return true;
        }
        if (Clock::now() >= deadline || m_strPending.size() > 65536) {
            m_strLastReply = "(no complete reply before the deadline)";
            return false;
        }
        if (m_bQuickAck)
            BenchData::AcknowledgeAtOnce(m_socket.Get());
        const ssize_t got = ::recv(m_socket.Get(), buffer, sizeof buffer, 0);
        if (got == 0) {
            m_strLastReply = "(control connection closed by the server)";
            return false;
        }
        if (got < 0) {
            // The receive timeout only wakes us to look at the deadline: a server whose
            // accept queue overflowed greets seconds late, after its SYN-ACK retries.
            if (errno == EINTR || errno == EAGAIN)
                continue;
            m_strLastReply = std::string("(control connection: ") + std::strerror(errno) + ")";
            return false;
        }
        m_strPending.append(buffer, static_cast<std::size_t>(got));
    }
}

CUniqueFd CFtpClient::OpenPassive(Clock::time_point deadline)
{
    if (Command("PASV", deadline) != 227)
        return {};
    const int port = ParsePassivePort(m_strLastReply);
    if (port <= 0)
        return {};
    return BenchData::ConnectLoopback(port, deadline);
}

int ParsePassivePort(std::string_view reply)
{
    const std::size_t open = reply.rfind('(');
    if (open == std::string_view::npos)
        return -1;
    int numbers[6] = {};
    const char* cursor = reply.data() + open + 1;
    const char* end = reply.data() + reply.size();
    for (int i = 0; i < 6; ++i) {
        const auto [next, error] = std::from_chars(cursor, end, numbers[i]);
        if (error != std::errc() || numbers[i] < 0 || numbers[i] > 255)
            return -1;
        cursor = next;
        if (i < 5) {
            if (cursor == end || *cursor != ',')
                return -1;
            ++cursor;
        }
    }
    return numbers[4] * 256 + numbers[5];
}
