#include "thread_ftp_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QRegularExpression>

#include "platform/text_table.h"

namespace {

sockaddr_in AddressOf(const char* address, quint16 port)
{
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    inet_pton(AF_INET, address, &remote.sin_addr);
    return remote;
}

} // namespace

CThreadFtpClient::~CThreadFtpClient()
{
    Close();
}

void CThreadFtpClient::ApplyTimeouts(int handle) const
{
    const timeval limit = {m_nTimeoutMs / 1000, (m_nTimeoutMs % 1000) * 1000};
    ::setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    ::setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
}

int CThreadFtpClient::ConnectTo(const char* address, quint16 port) const
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return -1;
    // A blocking connect gives up at the send time limit.
    ApplyTimeouts(handle);
    const sockaddr_in remote = AddressOf(address, port);
    if (::connect(handle, reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) < 0) {
        ::close(handle);
        return -1;
    }
    return handle;
}

bool CThreadFtpClient::Connect(quint16 port, const char* address)
{
    Close();
    m_hSocket = ConnectTo(address, port);
    return m_hSocket >= 0;
}

void CThreadFtpClient::Close()
{
    if (m_hSocket >= 0)
        ::close(m_hSocket);
    m_hSocket = -1;
    m_Pending.clear();
}

void CThreadFtpClient::Reset()
{
    const linger abort = {1, 0};
    ::setsockopt(m_hSocket, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    Close();
}

bool CThreadFtpClient::SendLine(const QByteArray& line)
{
    return WriteAll(m_hSocket, line + "\r\n");
}

QByteArray CThreadFtpClient::ReadLine()
{
    // Each receive waits at most the time limit; a server that trickles
    // bytes slower than that is as good as silent.
    while (true) {
        const int end = m_Pending.indexOf("\r\n");
        if (end >= 0) {
            const QByteArray line = m_Pending.left(end);
            m_Pending.remove(0, end + 2);
            return line;
        }
        char buffer[1024];
        const ssize_t received = ::recv(m_hSocket, buffer, sizeof(buffer), 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return QByteArray();
        m_Pending.append(buffer, received);
    }
}

bool CThreadFtpClient::Login()
{
    return ReadLine() == CTextTable::Big5(Text::Greeting)
        && Command("USER anonymous") == CTextTable::Big5(Text::ReplyUserOk)
        && Command("PASS guest") == CTextTable::Big5(Text::ReplyLoggedIn);
}

bool CThreadFtpClient::WaitClosed()
{
    char buffer[1024];
    while (true) {
        const ssize_t received = ::recv(m_hSocket, buffer, sizeof(buffer), 0);
        if (received == 0 || (received < 0 && errno != EINTR))
            return received == 0 || errno == ECONNRESET;
    }
}

int CThreadFtpClient::OpenPassive()
{
    const QByteArray reply = Command("PASV");
    static const QRegularExpression fields(R"(\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\))");
    const QRegularExpressionMatch match = fields.match(QString::fromLatin1(reply));
    if (!reply.startsWith("227 ") || !match.hasMatch())
        return -1;
    const QByteArray host = QStringLiteral("%1.%2.%3.%4")
                                .arg(match.captured(1), match.captured(2), match.captured(3), match.captured(4))
                                .toLatin1();
    return ConnectTo(host.constData(),
                     static_cast<quint16>(match.captured(5).toInt() * 256 + match.captured(6).toInt()));
}

int CThreadFtpClient::OpenActive()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = AddressOf("127.0.0.1", 0);
    socklen_t length = sizeof(local);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof(local)) < 0 || ::listen(listener, 1) < 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length) < 0) {
        ::close(listener);
        return -1;
    }
    const int port = ntohs(local.sin_port);
    const QByteArray command = "PORT 127,0,0,1," + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256);
    if (Command(command) != CTextTable::Big5(Text::ReplyPort)) {
        ::close(listener);
        return -1;
    }
    return listener;
}

int CThreadFtpClient::AcceptData(int listener) const
{
    pollfd waiting = {listener, POLLIN, 0};
    if (::poll(&waiting, 1, m_nTimeoutMs) <= 0)
        return -1;
    const int handle = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (handle >= 0)
        ApplyTimeouts(handle);
    return handle;
}

QByteArray CThreadFtpClient::ReadAll(int dataSocket) const
{
    ApplyTimeouts(dataSocket);
    QByteArray data;
    char buffer[65536];
    while (true) {
        const ssize_t received = ::recv(dataSocket, buffer, sizeof(buffer), 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return data;
        data.append(buffer, received);
    }
}

bool CThreadFtpClient::WriteAll(int dataSocket, const QByteArray& bytes) const
{
    ApplyTimeouts(dataSocket);
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t result = ::send(dataSocket, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return false;
        sent += result;
    }
    return true;
}
