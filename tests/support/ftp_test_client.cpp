#include "ftp_test_client.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

#include "platform/text_table.h"

namespace {

// A reply line longer than this is no FTP reply.
constexpr std::size_t kLongestPending = 65536;

std::string PeerAddress(SocketHandle socket)
{
    sockaddr_in peer = {};
    socklen_t length = sizeof(peer);
    char text[INET_ADDRSTRLEN] = {};
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) < 0
        || ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof(text)) == nullptr)
        return "127.0.0.1";
    return text;
}

// The code a reply line begins with, or -1 when its first characters are no number.
int ReplyCode(const std::string& line)
{
    const std::string head = line.substr(0, 3);
    int code = -1;
    const auto [end, error] = std::from_chars(head.data(), head.data() + head.size(), code);
    return error == std::errc() && end == head.data() + head.size() ? code : -1;
}

} // namespace

CFtpTestClient::CFtpTestClient(Wait wait, int timeoutMs) : m_eWait(wait), m_nTimeoutMs(timeoutMs) {}

bool CFtpTestClient::Connect(uint16_t port, const char* address)
{
    Close();
    m_socket = CTestSocket::Connect(address, port, In(-1), m_eWait);
    return m_socket.Valid();
}

bool CFtpTestClient::Connect(uint16_t port, Deadline deadline)
{
    Close();
    m_socket = CTestSocket::Connect("127.0.0.1", port, deadline, m_eWait);
    return m_socket.Valid() || Fail("(connect: " + std::string(std::strerror(errno)) + ")");
}

void CFtpTestClient::Close()
{
    m_socket.Reset();
    m_Pending.clear();
}

void CFtpTestClient::Reset()
{
    CTestSocket::Reset(m_socket);
    m_Pending.clear();
}

void CFtpTestClient::SetNoDelay()
{
    const int one = 1;
    ::setsockopt(m_socket.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof(one));
}

bool CFtpTestClient::SendRaw(std::string_view bytes)
{
    return WriteAll(m_socket.Get(), bytes);
}

std::string CFtpTestClient::ReadLine(int timeoutMs)
{
    return ReadLine(In(timeoutMs));
}

std::string CFtpTestClient::ReadLine(Deadline deadline)
{
    std::string line;
    return NextLine(deadline, line) ? line : std::string();
}

bool CFtpTestClient::NextLine(Deadline deadline, std::string& line)
{
    while (!CTestSocket::TakeLine(m_Pending, line)) {
        if (m_Pending.size() > kLongestPending)
            return Fail("(no complete reply line)");
        if (m_bQuickAck)
            CTestSocket::AcknowledgeAtOnce(m_socket.Get());
        char buffer[4096];
        const int64_t received = CTestSocket::Receive(m_socket.Get(), buffer, sizeof(buffer), deadline, m_eWait);
        if (received <= 0)
            return Fail(received == 0 ? "(control connection closed by the server)" : "(no complete reply in time)");
        m_Pending.append(buffer, received);
    }
    return true;
}

int CFtpTestClient::ReadReply(Deadline deadline)
{
    std::string line;
    if (!NextLine(deadline, line))
        return -1;
    const int code = ReplyCode(line);
    if (code < 0)
        return -1;
    m_strLastReply = line;
    // A multi-line reply ends with the line that starts with the same code and a blank.
    const std::string last = line.substr(0, 3) + ' ';
    while (line.size() > 3 && line[3] == '-' && !line.starts_with(last)) {
        std::string next;
        if (!NextLine(deadline, next))
            return -1;
        m_strLastReply += '\n' + next;
        if (next.starts_with(last))
            break;
    }
    return code;
}

int CFtpTestClient::CommandCode(std::string_view line, Deadline deadline)
{
    return SendLine(line) ? ReadReply(deadline) : -1;
}

bool CFtpTestClient::WaitClosed(int timeoutMs)
{
    return CTestSocket::ReadToEnd(m_socket.Get(), In(timeoutMs), m_eWait, &m_Pending) != CTestSocket::kTimedOut;
}

bool CFtpTestClient::StaysSilent(int timeoutMs)
{
    return m_Pending.empty() && !CTestSocket::WaitFor(m_socket.Get(), POLLIN, In(timeoutMs), m_eWait);
}

bool CFtpTestClient::Login()
{
    return ReadLine() == CTextTable::Big5(Text::Greeting)
        && Command("USER anonymous") == CTextTable::Big5(Text::ReplyUserOk)
        && Command("PASS guest") == CTextTable::Big5(Text::ReplyLoggedIn);
}

std::unique_ptr<CFtpTestClient> CFtpTestClient::Greeted(uint16_t port)
{
    auto client = std::make_unique<CFtpTestClient>();
    if (!client->Connect(port) || client->ReadLine() != CTextTable::Big5(Text::Greeting))
        return nullptr;
    return client;
}

std::unique_ptr<CFtpTestClient> CFtpTestClient::LoggedIn(uint16_t port)
{
    auto client = std::make_unique<CFtpTestClient>();
    if (!client->Connect(port) || !client->Login())
        return nullptr;
    return client;
}

bool CFtpTestClient::Quit(Deadline deadline)
{
    // Servers differ in the code of their farewell; any completion reply will do.
    const int code = CommandCode("QUIT", deadline);
    if (code < 200 || code > 299)
        return false;
    const bool bEnded = CTestSocket::ReadToEnd(m_socket.Get(), deadline, m_eWait, &m_Pending) >= 0;
    Close();
    return bEnded;
}

CUniqueSocket CFtpTestClient::OpenPassive()
{
    return OpenPassive(In(-1));
}

CUniqueSocket CFtpTestClient::OpenPassive(Deadline deadline)
{
    std::string host;
    uint16_t port = 0;
    if (CommandCode("PASV", deadline) != 227 || !CTestSocket::ParsePassive(m_strLastReply, host, port))
        return {};
    if (m_bPassiveToControlPeer)
        host = PeerAddress(m_socket.Get());
    return CTestSocket::Connect(host.c_str(), port, deadline, m_eWait);
}

CUniqueSocket CFtpTestClient::ListenForActive(std::string& portCommand)
{
    uint16_t port = 0;
    CUniqueSocket listener = CTestSocket::Listen("127.0.0.1", port);
    portCommand = "PORT 127,0,0,1," + std::to_string(port / 256) + ',' + std::to_string(port % 256);
    return listener;
}

CUniqueSocket CFtpTestClient::OpenActive()
{
    std::string command;
    CUniqueSocket listener = ListenForActive(command);
    if (!listener.Valid() || Command(command) != CTextTable::Big5(Text::ReplyPort))
        return {};
    return listener;
}

CUniqueSocket CFtpTestClient::ConnectFrom(const char* localAddress, uint16_t port) const
{
    return CTestSocket::Connect("127.0.0.1", port, In(-1), m_eWait, localAddress);
}

CUniqueSocket CFtpTestClient::AcceptData(SocketHandle listener, int timeoutMs) const
{
    return CTestSocket::Accept(listener, In(timeoutMs), m_eWait);
}

CFtpTestClient::Deadline CFtpTestClient::DataDeadline(int timeoutMs) const
{
    return CTestSocket::DeadlineIn(timeoutMs >= 0 ? timeoutMs : std::max(m_nTimeoutMs, kDataDeadlineMs));
}

std::string CFtpTestClient::ReadAll(int dataSocket, int timeoutMs) const
{
    std::string data;
    CTestSocket::ReadToEnd(dataSocket, DataDeadline(timeoutMs), m_eWait, &data);
    return data;
}

bool CFtpTestClient::WriteAll(int dataSocket, std::string_view bytes) const
{
    return CTestSocket::WriteAll(dataSocket, bytes.data(), bytes.size(), DataDeadline(-1), m_eWait);
}

bool CFtpTestClient::ReadAtLeast(int dataSocket, int64_t bytes) const
{
    return CTestSocket::ReadAtLeast(dataSocket, bytes, In(kDeadlineMs), m_eWait);
}

bool CFtpTestClient::Fail(const std::string& why)
{
    m_strLastReply = why;
    return false;
}
