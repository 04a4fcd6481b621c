#include "thread_ftp_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ftp_wire.h"
#include "platform/text_table.h"

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
    const sockaddr_in remote = CFtpWire::Address(address, port);
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
    CFtpWire::Close(m_hSocket, m_Pending);
}

void CThreadFtpClient::Reset()
{
    CFtpWire::Reset(m_hSocket, m_Pending);
}

bool CThreadFtpClient::SendLine(const QByteArray& line)
{
    return WriteAll(m_hSocket, line + "\r\n");
}

QByteArray CThreadFtpClient::ReadLine()
{
    // Each receive waits at most the time limit; a server that trickles
    // bytes slower than that is as good as silent.
    QByteArray line;
    while (!CFtpWire::TakeLine(m_Pending, line)) {
        char buffer[1024];
        const ssize_t received = ::recv(m_hSocket, buffer, sizeof(buffer), 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return QByteArray();
        m_Pending.append(buffer, received);
    }
    return line;
}

bool CThreadFtpClient::Login()
{
    return CFtpWire::Login(*this);
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
    QByteArray host;
    quint16 port = 0;
    if (!CFtpWire::ParsePassive(Command("PASV"), host, port))
        return -1;
    return ConnectTo(host.constData(), port);
}

int CThreadFtpClient::OpenActive()
{
    QByteArray command;
    const int listener = CFtpWire::ListenForActive(1, command);
    if (listener < 0)
        return -1;
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
