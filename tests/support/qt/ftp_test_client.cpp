#include "ftp_test_client.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/text_table.h"

namespace {

// A reply line longer than this is no FTP reply.
constexpr qsizetype kLongestPending = 65536;

QByteArray PeerAddress(int socket)
{
    sockaddr_in peer = {};
    socklen_t length = sizeof(peer);
    char text[INET_ADDRSTRLEN] = {};
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) < 0
        || ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof(text)) == nullptr)
        return "127.0.0.1";
    return text;
}

} // namespace

CFtpTestClient::CFtpTestClient(Wait wait, int timeoutMs) : m_eWait(wait), m_nTimeoutMs(timeoutMs) {}

bool CFtpTestClient::Connect(quint16 port, const char* address)
{
    Close();
    m_socket = CTestSocket::Connect(address, port, In(-1), m_eWait);
    return m_socket.Valid();
}

bool CFtpTestClient::Connect(quint16 port, Deadline deadline)
{
    Close();
    m_socket = CTestSocket::Connect("127.0.0.1", port, deadline, m_eWait);
    return m_socket.Valid() || Fail("(connect: " + QByteArray(std::strerror(errno)) + ")");
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
    ::setsockopt(m_socket.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

bool CFtpTestClient::SendRaw(const QByteArray& bytes)
{
    return WriteAll(m_socket.Get(), bytes);
}

QByteArray CFtpTestClient::ReadLine(int timeoutMs)
{
    return ReadLine(In(timeoutMs));
}

QByteArray CFtpTestClient::ReadLine(Deadline deadline)
{
    QByteArray line;
    return NextLine(deadline, line) ? line : QByteArray();
}

bool CFtpTestClient::NextLine(Deadline deadline, QByteArray& line)
{
    while (!CTestSocket::TakeLine(m_Pending, line)) {
        if (m_Pending.size() > kLongestPending)
            return Fail("(no complete reply line)");
        if (m_bQuickAck)
            CTestSocket::AcknowledgeAtOnce(m_socket.Get());
        char buffer[4096];
        const qint64 received = CTestSocket::Receive(m_socket.Get(), buffer, sizeof(buffer), deadline, m_eWait);
        if (received <= 0)
            return Fail(received == 0 ? "(control connection closed by the server)" : "(no complete reply in time)");
        m_Pending.append(buffer, received);
    }
    return true;
}

int CFtpTestClient::ReadReply(Deadline deadline)
{
    QByteArray line;
    bool bNumber = false;
    if (!NextLine(deadline, line) || (line.left(3).toInt(&bNumber), !bNumber))
        return -1;
    m_strLastReply = line;
    // A multi-line reply ends with the line that starts with the same code and a blank.
    const QByteArray last = line.left(3) + ' ';
    while (line.size() > 3 && line[3] == '-' && !line.startsWith(last)) {
        QByteArray next;
        if (!NextLine(deadline, next))
            return -1;
        m_strLastReply += '\n' + next;
        if (next.startsWith(last))
            break;
    }
    return line.left(3).toInt();
}

int CFtpTestClient::CommandCode(const QByteArray& line, Deadline deadline)
{
    return SendLine(line) ? ReadReply(deadline) : -1;
}

bool CFtpTestClient::WaitClosed(int timeoutMs)
{
    return CTestSocket::ReadToEnd(m_socket.Get(), In(timeoutMs), m_eWait, &m_Pending) != CTestSocket::kTimedOut;
}

bool CFtpTestClient::StaysSilent(int timeoutMs)
{
    return m_Pending.isEmpty() && !CTestSocket::WaitFor(m_socket.Get(), POLLIN, In(timeoutMs), m_eWait);
}

bool CFtpTestClient::Login()
{
    return ReadLine().toStdString() == CTextTable::Big5(Text::Greeting)
        && Command("USER anonymous").toStdString() == CTextTable::Big5(Text::ReplyUserOk)
        && Command("PASS guest").toStdString() == CTextTable::Big5(Text::ReplyLoggedIn);
}

std::unique_ptr<CFtpTestClient> CFtpTestClient::Greeted(quint16 port)
{
    auto client = std::make_unique<CFtpTestClient>();
    if (!client->Connect(port) || client->ReadLine().toStdString() != CTextTable::Big5(Text::Greeting))
        return nullptr;
    return client;
}

std::unique_ptr<CFtpTestClient> CFtpTestClient::LoggedIn(quint16 port)
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

CUniqueFd CFtpTestClient::OpenPassive()
{
    return OpenPassive(In(-1));
}

CUniqueFd CFtpTestClient::OpenPassive(Deadline deadline)
{
    QByteArray host;
    quint16 port = 0;
    if (CommandCode("PASV", deadline) != 227 || !CTestSocket::ParsePassive(m_strLastReply, host, port))
        return {};
    if (m_bPassiveToControlPeer)
        host = PeerAddress(m_socket.Get());
    return CTestSocket::Connect(host.constData(), port, deadline, m_eWait);
}

CUniqueFd CFtpTestClient::ListenForActive(QByteArray& portCommand)
{
    quint16 port = 0;
    CUniqueFd listener = CTestSocket::Listen("127.0.0.1", port);
    portCommand = "PORT 127,0,0,1," + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256);
    return listener;
}

CUniqueFd CFtpTestClient::OpenActive()
{
    QByteArray command;
    CUniqueFd listener = ListenForActive(command);
    if (!listener.Valid() || Command(command).toStdString() != CTextTable::Big5(Text::ReplyPort))
        return {};
    return listener;
}

CUniqueFd CFtpTestClient::ConnectFrom(const char* localAddress, quint16 port) const
{
    return CTestSocket::Connect("127.0.0.1", port, In(-1), m_eWait, localAddress);
}

CUniqueFd CFtpTestClient::AcceptData(int listener, int timeoutMs) const
{
    return CTestSocket::Accept(listener, In(timeoutMs), m_eWait);
}

CFtpTestClient::Deadline CFtpTestClient::DataDeadline(int timeoutMs) const
{
    return CTestSocket::DeadlineIn(timeoutMs >= 0 ? timeoutMs : std::max(m_nTimeoutMs, kDataDeadlineMs));
}

QByteArray CFtpTestClient::ReadAll(int dataSocket, int timeoutMs) const
{
    QByteArray data;
    CTestSocket::ReadToEnd(dataSocket, DataDeadline(timeoutMs), m_eWait, &data);
    return data;
}

bool CFtpTestClient::WriteAll(int dataSocket, const QByteArray& bytes) const
{
    return CTestSocket::WriteAll(dataSocket, bytes.constData(), bytes.size(), DataDeadline(-1), m_eWait);
}

bool CFtpTestClient::ReadAtLeast(int dataSocket, qint64 bytes) const
{
    return CTestSocket::ReadAtLeast(dataSocket, bytes, In(kDeadlineMs), m_eWait);
}

bool CFtpTestClient::Fail(const QByteArray& why)
{
    m_strLastReply = why;
    return false;
}
