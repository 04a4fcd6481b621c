#include "ftp_test_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>

#include "platform/text_table.h"

namespace {

constexpr int kSliceMs = 5;

bool WaitFor(int handle, short events, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        pollfd entry = {handle, events, 0};
        if (::poll(&entry, 1, kSliceMs) > 0)
            return true;
        QCoreApplication::processEvents();
    }
    return false;
}

sockaddr_in Loopback(quint16 port, const char* address)
{
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    inet_pton(AF_INET, address, &remote.sin_addr);
    return remote;
}

int ConnectTo(const sockaddr_in& remote)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (handle < 0)
        return -1;
    const int result = ::connect(handle, reinterpret_cast<const sockaddr*>(&remote), sizeof(remote));
    if (result < 0 && errno != EINPROGRESS) {
        ::close(handle);
        return -1;
    }
    if (!WaitFor(handle, POLLOUT, CFtpTestClient::kDeadlineMs)) {
        ::close(handle);
        return -1;
    }
    int error = 0;
    socklen_t length = sizeof(error);
    ::getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
        ::close(handle);
        return -1;
    }
    return handle;
}

} // namespace

CFtpTestClient::~CFtpTestClient()
{
    Close();
}

bool CFtpTestClient::Connect(quint16 port, const char* address)
{
    Close();
    m_hSocket = ConnectTo(Loopback(port, address));
    return m_hSocket >= 0;
}

void CFtpTestClient::Close()
{
    if (m_hSocket >= 0)
        ::close(m_hSocket);
    m_hSocket = -1;
    m_Pending.clear();
}

void CFtpTestClient::Reset()
{
    const linger abort = {1, 0};
    ::setsockopt(m_hSocket, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    Close();
}

bool CFtpTestClient::SendRaw(const QByteArray& bytes)
{
    return WriteAll(m_hSocket, bytes);
}

bool CFtpTestClient::WaitReadable(int timeoutMs)
{
    return WaitFor(m_hSocket, POLLIN, timeoutMs);
}

QByteArray CFtpTestClient::ReadLine(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        const int end = m_Pending.indexOf("\r\n");
        if (end >= 0) {
            const QByteArray line = m_Pending.left(end);
            m_Pending.remove(0, end + 2);
            return line;
        }
        if (!WaitReadable(static_cast<int>(deadline.remainingTime())))
            return QByteArray();
        char buffer[4096];
        const ssize_t received = ::recv(m_hSocket, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (received <= 0 && !(received < 0 && errno == EAGAIN))
            return QByteArray();
        if (received > 0)
            m_Pending.append(buffer, received);
    }
}

bool CFtpTestClient::WaitClosed(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (WaitReadable(static_cast<int>(deadline.remainingTime()))) {
        char buffer[4096];
        const ssize_t received = ::recv(m_hSocket, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (received == 0 || (received < 0 && errno != EAGAIN))
            return true;
        if (received > 0)
            m_Pending.append(buffer, received);
    }
    return false;
}

bool CFtpTestClient::StaysSilent(int timeoutMs)
{
    return m_Pending.isEmpty() && !WaitReadable(timeoutMs);
}

bool CFtpTestClient::Login()
{
    return ReadLine() == CTextTable::Big5(Text::Greeting)
        && Command("USER anonymous") == CTextTable::Big5(Text::ReplyUserOk)
        && Command("PASS guest") == CTextTable::Big5(Text::ReplyLoggedIn);
}

int CFtpTestClient::OpenPassive()
{
    const QByteArray reply = Command("PASV");
    static const QRegularExpression fields(R"(\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\))");
    const QRegularExpressionMatch match = fields.match(QString::fromLatin1(reply));
    if (!reply.startsWith("227 ") || !match.hasMatch())
        return -1;
    const QByteArray host = QStringLiteral("%1.%2.%3.%4")
                                .arg(match.captured(1), match.captured(2), match.captured(3), match.captured(4))
                                .toLatin1();
    const quint16 port = static_cast<quint16>(match.captured(5).toInt() * 256 + match.captured(6).toInt());
    return ConnectTo(Loopback(port, host.constData()));
}

int CFtpTestClient::OpenActive()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = Loopback(0, "127.0.0.1");
    socklen_t length = sizeof(local);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof(local)) < 0 || ::listen(listener, 5) < 0
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

int CFtpTestClient::AcceptData(int listener, int timeoutMs)
{
    if (!WaitFor(listener, POLLIN, timeoutMs))
        return -1;
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

QByteArray CFtpTestClient::ReadAll(int dataSocket, int timeoutMs)
{
    QByteArray data;
    const QDeadlineTimer deadline(timeoutMs);
    while (WaitFor(dataSocket, POLLIN, static_cast<int>(deadline.remainingTime()))) {
        char buffer[65536];
        const ssize_t received = ::recv(dataSocket, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (received == 0 || (received < 0 && errno != EAGAIN))
            break;
        if (received > 0)
            data.append(buffer, received);
    }
    return data;
}

bool CFtpTestClient::WriteAll(int dataSocket, const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t result = ::send(dataSocket, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0 && errno == EAGAIN) {
            if (!WaitFor(dataSocket, POLLOUT, kDeadlineMs))
                return false;
            continue;
        }
        if (result < 0)
            return false;
        sent += result;
    }
    return true;
}
