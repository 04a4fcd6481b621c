#include "ftp_wire.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QRegularExpression>

sockaddr_in CFtpWire::Address(const char* address, quint16 port)
{
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    inet_pton(AF_INET, address, &remote.sin_addr);
    return remote;
}

int CFtpWire::ConnectLoopback(quint16 port, int receiveBuffer)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return -1;
    if (receiveBuffer > 0)
        ::setsockopt(handle, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    const sockaddr_in remote = Address("127.0.0.1", port);
    if (::connect(handle, reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) < 0) {
        ::close(handle);
        return -1;
    }
    return handle;
}

int CFtpWire::ConnectFrom(const char* localAddress, quint16 port)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return -1;
    const sockaddr_in local = Address(localAddress, 0);
    const sockaddr_in remote = Address("127.0.0.1", port);
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) < 0
        || ::connect(handle, reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) < 0) {
        ::close(handle);
        return -1;
    }
    return handle;
}

int CFtpWire::Listen(const char* address, quint16& port, int backlog)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = Address(address, 0);
    socklen_t length = sizeof(local);
    if (::bind(handle, reinterpret_cast<sockaddr*>(&local), sizeof(local)) < 0 || ::listen(handle, backlog) < 0
        || ::getsockname(handle, reinterpret_cast<sockaddr*>(&local), &length) < 0) {
        ::close(handle);
        return -1;
    }
    port = ntohs(local.sin_port);
    return handle;
}

bool CFtpWire::TakeLine(QByteArray& pending, QByteArray& line)
{
    const qsizetype end = pending.indexOf("\r\n");
    if (end < 0)
        return false;
    line = pending.left(end);
    pending.remove(0, end + 2);
    return true;
}

bool CFtpWire::ParsePassive(const QByteArray& reply, QByteArray& host, quint16& port)
{
    static const QRegularExpression fields(R"(\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\))");
    const QRegularExpressionMatch match = fields.match(QString::fromLatin1(reply));
    if (!reply.startsWith("227 ") || !match.hasMatch())
        return false;
    host = QStringLiteral("%1.%2.%3.%4")
               .arg(match.captured(1), match.captured(2), match.captured(3), match.captured(4))
               .toLatin1();
    port = static_cast<quint16>(match.captured(5).toInt() * 256 + match.captured(6).toInt());
    return true;
}

int CFtpWire::ListenForActive(int backlog, QByteArray& portCommand)
{
    quint16 port = 0;
    const int listener = Listen("127.0.0.1", port, backlog);
    if (listener < 0)
        return -1;
    portCommand = "PORT 127,0,0,1," + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256);
    return listener;
}

void CFtpWire::Close(int& handle, QByteArray& pending)
{
    if (handle >= 0)
        ::close(handle);
    handle = -1;
    pending.clear();
}

void CFtpWire::Reset(int& handle, QByteArray& pending)
{
    const linger abort = {1, 0};
    ::setsockopt(handle, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    Close(handle, pending);
}
