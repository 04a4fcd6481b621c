#include "transfer_fixture.h"

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

TransferResult CTransferFixture::Download(CFtpTestClient& client, const QByteArray& command)
{
    TransferResult result;
    CUniqueFd data = client.OpenPassive();
    if (!data.Valid())
        return result;
    result.preliminary = client.Command(command);
    result.data = client.ReadAll(data.Get());
    data.Reset();
    result.final = client.ReadLine();
    return result;
}

TransferResult CTransferFixture::Upload(CFtpTestClient& client, const QByteArray& command, const QByteArray& bytes)
{
    TransferResult result;
    CUniqueFd data = client.OpenPassive();
    if (!data.Valid())
        return result;
    result.preliminary = client.Command(command);
    client.WriteAll(data.Get(), bytes);
    data.Reset();
    result.final = client.ReadLine();
    return result;
}
