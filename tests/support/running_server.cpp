#include "running_server.h"

#include <QFile>

#include "platform/text_table.h"

CRunningServer::CRunningServer(CFakeServerView* pView) : m_pView(pView != nullptr ? pView : &m_OwnView)
{
    SettingsValues values;
    values.HomeDirectory = m_Root.path();
    values.AllowCreateDir = values.AllowDelete = values.AllowDownload = values.AllowRename = values.AllowUpload = 1;
    m_pSettings->SetValues(values);
    m_pServer = std::make_unique<CServerControl>(m_pView, m_pSettings, 0, "127.0.0.1");
    m_pServer->StartServer();
}

CRunningServer::~CRunningServer()
{
    m_pServer->StopServer();
}

void CRunningServer::SetHome(const QByteArray& local)
{
    SettingsValues values = m_pSettings->Values();
    values.HomeDirectory = QFile::decodeName(local);
    m_pSettings->SetValues(values);
}

QByteArray CRunningServer::Root() const
{
    return QFile::encodeName(m_Root.path());
}

QByteArray CRunningServer::LocalPath(const QByteArray& name) const
{
    return QFile::encodeName(m_Root.filePath(QFile::decodeName(name)));
}

bool CRunningServer::WriteFile(const QByteArray& name, const QByteArray& bytes) const
{
    QFile file(QFile::decodeName(LocalPath(name)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray CRunningServer::ReadFile(const QByteArray& name) const
{
    QFile file(QFile::decodeName(LocalPath(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool CRunningServer::MakeSparseFile(const QByteArray& name, qint64 length) const
{
    QFile file(QFile::decodeName(LocalPath(name)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(length);
}

std::unique_ptr<CFtpTestClient> CRunningServer::NewClient() const
{
    auto client = std::make_unique<CFtpTestClient>();
    if (!client->Connect(Port()) || !client->Login())
        return nullptr;
    return client;
}

bool CRunningServer::ServesFreshClient() const
{
    const auto client = NewClient();
    return client && client->Command("NOOP") == CTextTable::Big5(Text::ReplyNoop);
}
