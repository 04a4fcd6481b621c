#include "ftp_test_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "ftp_wire.h"
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
    m_hSocket = ConnectTo(CFtpWire::Address(address, port));
    return m_hSocket >= 0;
}

void CFtpTestClient::Close()
{
    CFtpWire::Close(m_hSocket, m_Pending);
}

void CFtpTestClient::Reset()
{
    CFtpWire::Reset(m_hSocket, m_Pending);
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
    QByteArray line;
    while (!CFtpWire::TakeLine(m_Pending, line)) {
        if (!WaitReadable(static_cast<int>(deadline.remainingTime())))
            return QByteArray();
        char buffer[4096];
        const ssize_t received = ::recv(m_hSocket, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (received <= 0 && !(received < 0 && errno == EAGAIN))
            return QByteArray();
        if (received > 0)
            m_Pending.append(buffer, received);
    }
    return line;
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
    return CFtpWire::Login(*this);
}

int CFtpTestClient::OpenPassive()
{
    QByteArray host;
    quint16 port = 0;
    if (!CFtpWire::ParsePassive(Command("PASV"), host, port))
        return -1;
    return ConnectTo(CFtpWire::Address(host.constData(), port));
}

int CFtpTestClient::OpenActive()
{
    QByteArray command;
    const int listener = CFtpWire::ListenForActive(5, command);
    if (listener < 0)
        return -1;
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
