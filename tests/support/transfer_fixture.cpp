#include "transfer_fixture.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

CTransferFixture::CTransferFixture() : m_pHarness(std::make_unique<CSessionHarness>())
{
    Host().SetHomeDirectory(QFile::encodeName(m_Root.path()));
    Host().SetRight(Right::Download, 1);
    Host().SetRight(Right::Upload, 1);
}

std::unique_ptr<CFtpTestClient> CTransferFixture::NewClient()
{
    auto client = std::make_unique<CFtpTestClient>();
    if (!client->Connect(m_pHarness->Port()) || !client->Login())
        return nullptr;
    return client;
}

QByteArray CTransferFixture::LocalPath(const QByteArray& name) const
{
    return QFile::encodeName(m_Root.filePath(QFile::decodeName(name)));
}

bool CTransferFixture::WriteFile(const QByteArray& name, const QByteArray& bytes) const
{
    QFile file(QFile::decodeName(LocalPath(name)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray CTransferFixture::ReadFile(const QByteArray& name) const
{
    QFile file(QFile::decodeName(LocalPath(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool CTransferFixture::MakeSparseFile(const QByteArray& name, qint64 length) const
{
    QFile file(QFile::decodeName(LocalPath(name)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(length);
}

bool CTransferFixture::ReadAtLeast(int dataSocket, qsizetype bytes)
{
    const QDeadlineTimer deadline(CFtpTestClient::kDeadlineMs);
    char buffer[4096];
    while (bytes > 0 && !deadline.hasExpired()) {
        pollfd readable = {dataSocket, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(deadline.remainingTime())) <= 0)
            return false;
        const ssize_t received = ::recv(dataSocket, buffer, std::min<qsizetype>(bytes, sizeof(buffer)), MSG_DONTWAIT);
        if (received == 0 || (received < 0 && errno != EAGAIN))
            return false;
        bytes -= std::max<ssize_t>(received, 0);
    }
    return bytes <= 0;
}

TransferResult CTransferFixture::Download(CFtpTestClient& client, const QByteArray& command)
{
    TransferResult result;
    const int data = client.OpenPassive();
    if (data < 0)
        return result;
    result.preliminary = client.Command(command);
    result.data = CFtpTestClient::ReadAll(data);
    ::close(data);
    result.final = client.ReadLine();
    return result;
}

TransferResult CTransferFixture::Upload(CFtpTestClient& client, const QByteArray& command, const QByteArray& bytes)
{
    TransferResult result;
    const int data = client.OpenPassive();
    if (data < 0)
        return result;
    result.preliminary = client.Command(command);
    CFtpTestClient::WriteAll(data, bytes);
    ::close(data);
    result.final = client.ReadLine();
    return result;
}
