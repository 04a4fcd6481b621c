#include "running_server.h"

#include "platform/text_table.h"

CRunningServer::CRunningServer(CFakeServerView* pView) : m_pView(pView != nullptr ? pView : &m_OwnView)
{
    SettingsValues values;
    values.HomeDirectory = CNativePath::SettingText(m_Root.Root());
    values.AllowCreateDir = values.AllowDelete = values.AllowDownload = values.AllowRename = values.AllowUpload = 1;
    m_pSettings->SetValues(values);
    m_pServer = std::make_unique<CServerControl>(m_pView, m_pSettings, 0, "127.0.0.1");
    m_pServer->StartServer();
}

CRunningServer::~CRunningServer()
{
    m_pServer->StopServer();
}

void CRunningServer::SetHome(const std::string& local)
{
    SettingsValues values = m_pSettings->Values();
    values.HomeDirectory = CNativePath::SettingText(local);
    m_pSettings->SetValues(values);
}

std::unique_ptr<CFtpTestClient> CRunningServer::NewClient() const
{
    return CFtpTestClient::LoggedIn(Port());
}

bool CRunningServer::ServesFreshClient() const
{
    const auto client = NewClient();
    return client && client->Command("NOOP") == CTextTable::Big5(Text::ReplyNoop);
}
