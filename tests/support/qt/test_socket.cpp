#include "test_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <QCoreApplication>
#include <QRegularExpression>

#include "platform/system_call.h"

namespace {

// While pumping, how long one look at the descriptor waits before the
// thread's events get their turn.
constexpr int kSliceMs = 5;
constexpr qint64 kBlock = 1 << 20;

int RemainingMs(CTestSocket::Deadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - CTestSocket::Clock::now());
    return static_cast<int>(std::max<qint64>(left.count(), 0));
}

int Poll(int fd, short events, int timeoutMs)
{
    pollfd entry = {fd, events, 0};
    return CSystemCall::RetryOnInterrupt([&] { return ::poll(&entry, 1, timeoutMs); });
}

bool Finished(int fd, CTestSocket::Deadline deadline, CTestSocket::Wait wait)
{
    const auto connected = [fd] {
        int error = 0;
        socklen_t length = sizeof(error);
        return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    };
    return CTestSocket::WaitFor(fd, POLLOUT, deadline, wait) && connected();
}

} // namespace

CTestSocket::Deadline CTestSocket::DeadlineIn(int milliseconds)
{
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

bool CTestSocket::WaitFor(int fd, short events, Deadline deadline, Wait wait)
{
    if (wait == Wait::Block)
        return Poll(fd, events, RemainingMs(deadline)) > 0;
    do {
        if (Poll(fd, events, std::min(kSliceMs, RemainingMs(deadline))) > 0)
            return true;
        QCoreApplication::processEvents();
    } while (Clock::now() < deadline);
    return false;
}

sockaddr_in CTestSocket::Address(const char* address, quint16 port)
{
    sockaddr_in remote = {};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    inet_pton(AF_INET, address, &remote.sin_addr);
    return remote;
}

CUniqueFd CTestSocket::Connect(const char* address, quint16 port, Deadline deadline, Wait wait,
                               const char* localAddress, int receiveBuffer)
{
    CUniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.Valid())
        return {};
    if (receiveBuffer > 0)
        ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    const sockaddr_in local = Address(localAddress != nullptr ? localAddress : "0.0.0.0", 0);
    if (localAddress != nullptr && ::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) < 0)
        return {};
    const sockaddr_in remote = Address(address, port);
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) < 0
        && (errno != EINPROGRESS || !Finished(socket.Get(), deadline, wait)))
        return {};
    ::fcntl(socket.Get(), F_SETFL, 0);
    return socket;
}

CUniqueFd CTestSocket::Listen(const char* address, quint16& port, int backlog)
{
    CUniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in local = Address(address, 0);
    socklen_t length = sizeof(local);
    if (!socket.Valid() || ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) < 0
        || ::listen(socket.Get(), backlog) < 0
        || ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&local), &length) < 0)
        return {};
    port = ntohs(local.sin_port);
    return socket;
}

CUniqueFd CTestSocket::Accept(int listener, Deadline deadline, Wait wait)
{
    if (!WaitFor(listener, POLLIN, deadline, wait))
        return {};
    return CUniqueFd(CSystemCall::RetryOnInterrupt([&] { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }));
}

void CTestSocket::Reset(CUniqueFd& socket)
{
    const linger abort = {1, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    socket.Reset();
}

void CTestSocket::AcknowledgeAtOnce(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof(one));
}

bool CTestSocket::WriteAll(int fd, const char* bytes, qint64 size, Deadline deadline, Wait wait)
{
    qint64 sent = 0;
    while (sent < size) {
        if (!WaitFor(fd, POLLOUT, deadline, wait))
            return false;
        const ssize_t result = CSystemCall::RetryOnInterrupt(
            [&] { return ::send(fd, bytes + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT); });
        if (result < 0 && errno != EAGAIN)
            return false;
        sent += std::max<ssize_t>(result, 0);
    }
    return true;
}

qint64 CTestSocket::Receive(int fd, char* buffer, qint64 size, Deadline deadline, Wait wait)
{
    while (WaitFor(fd, POLLIN, deadline, wait)) {
        const ssize_t received =
            CSystemCall::RetryOnInterrupt([&] { return ::recv(fd, buffer, size, MSG_DONTWAIT); });
        if (received >= 0 || errno != EAGAIN)
            return received;
    }
    return kTimedOut;
}

bool CTestSocket::ReadAtLeast(int fd, qint64 count, Deadline deadline, Wait wait)
{
    std::vector<char> buffer(static_cast<std::size_t>(std::min(count, kBlock)));
    while (count > 0) {
        const qint64 received = Receive(fd, buffer.data(), std::min<qint64>(count, buffer.size()), deadline, wait);
        if (received <= 0)
            return false;
        count -= received;
    }
    return true;
}

qint64 CTestSocket::ReadToEnd(int fd, Deadline deadline, Wait wait, QByteArray* keep, bool bQuickAck)
{
    std::vector<char> buffer(kBlock);
    qint64 total = 0;
    while (true) {
        if (bQuickAck)
            AcknowledgeAtOnce(fd);
        const qint64 received = Receive(fd, buffer.data(), kBlock, deadline, wait);
        if (received <= 0)
            return received == 0 ? total : received;
        if (keep != nullptr)
            keep->append(buffer.data(), received);
        total += received;
    }
}

bool CTestSocket::TakeLine(QByteArray& pending, QByteArray& line)
{
    const qsizetype end = pending.indexOf("\r\n");
    if (end < 0)
        return false;
    line = pending.left(end);
    pending.remove(0, end + 2);
    return true;
}

bool CTestSocket::ParsePassive(const QByteArray& reply, QByteArray& host, quint16& port)
{
    static const QRegularExpression fields(R"(\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\))");
    const QRegularExpressionMatch match = fields.match(QString::fromLatin1(reply));
    if (!reply.startsWith("227") || !match.hasMatch())
        return false;
    host = QStringLiteral("%1.%2.%3.%4")
               .arg(match.captured(1), match.captured(2), match.captured(3), match.captured(4))
               .toLatin1();
    port = static_cast<quint16>(match.captured(5).toInt() * 256 + match.captured(6).toInt());
    return true;
}
