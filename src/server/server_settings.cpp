#include "server/server_settings.h"

SettingsValues CServerSettings::Values() const
{
    SettingsValues values;
    values.HomeDirectory = HomeDirectory();
    values.AllowCreateDir = m_nAllowCreateDir;
    values.AllowDelete = m_nAllowDelete;
    values.AllowDownload = m_nAllowDownload;
    values.AllowRename = m_nAllowRename;
    values.AllowUpload = m_nAllowUpload;
    values.AutoStart = m_nAutoStart;
    return values;
}

void CServerSettings::SetValues(const SettingsValues& values)
{
    {
        std::lock_guard lock(m_HomeLock);
        m_strHomeDirectory = values.HomeDirectory;
    }
    m_nAllowCreateDir = values.AllowCreateDir;
    m_nAllowDelete = values.AllowDelete;
    m_nAllowDownload = values.AllowDownload;
    m_nAllowRename = values.AllowRename;
    m_nAllowUpload = values.AllowUpload;
    m_nAutoStart = values.AutoStart;
}

int CServerSettings::RightValue(Right right) const
{
    const std::atomic<int>* slot = Slot(right);
    return slot == nullptr ? 1 : slot->load();
}

QString CServerSettings::HomeDirectory() const
{
    std::lock_guard lock(m_HomeLock);
    return m_strHomeDirectory;
}

std::atomic<int>* CServerSettings::Slot(Right right)
{
    return const_cast<std::atomic<int>*>(std::as_const(*this).Slot(right));
}

const std::atomic<int>* CServerSettings::Slot(Right right) const
{
    switch (right) {
    case Right::Download:
        return &m_nAllowDownload;
    case Right::Upload:
        return &m_nAllowUpload;
    case Right::Delete:
        return &m_nAllowDelete;
    case Right::CreateDir:
        return &m_nAllowCreateDir;
    case Right::Rename:
        return &m_nAllowRename;
    case Right::None:
        break;
    }
    return nullptr;
}
