#include "server/server_settings.h"

CServerSettings::CServerSettings()
{
    SetValues(SettingsValues());
}

SettingsValues CServerSettings::Values() const
{
    SettingsValues values;
    {
        std::lock_guard lock(m_TextLock);
        values = m_Texts;
    }
    for (size_t i = 0; i < m_Flags.size(); ++i) {
        if (kSettingRows[i].flag != nullptr)
            values.*kSettingRows[i].flag = m_Flags[i];
    }
    return values;
}

void CServerSettings::SetValues(const SettingsValues& values)
{
    {
        std::lock_guard lock(m_TextLock);
        m_Texts = values;
    }
    for (size_t i = 0; i < m_Flags.size(); ++i) {
        if (kSettingRows[i].flag != nullptr)
            m_Flags[i] = values.*kSettingRows[i].flag;
    }
}

int CServerSettings::RightValue(Right right) const
{
    for (size_t i = 0; i < m_Flags.size(); ++i) {
        if (right != Right::None && kSettingRows[i].right == right)
            return m_Flags[i];
    }
    return 1;
}

std::string CServerSettings::HomeDirectory() const
{
    std::lock_guard lock(m_TextLock);
    return m_Texts.HomeDirectory;
}
