#include "win32ui/settings_store.h"

#include <windows.h>

#include "win32ui/wide_text.h"

namespace {

class CRegistryKey {
public:
    CRegistryKey(const std::wstring& path, bool bCreate)
    {
        const LONG result = bCreate ? RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                      KEY_READ | KEY_WRITE, nullptr, &m_hKey, nullptr)
                                    : RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &m_hKey);
        if (result != ERROR_SUCCESS)
            m_hKey = nullptr;
    }
    ~CRegistryKey()
    {
        if (m_hKey != nullptr)
            RegCloseKey(m_hKey);
    }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    HKEY Handle() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

// A stored integer of another kind or size is not ours: the default stands.
int ReadInteger(HKEY hKey, const std::wstring& name, int fallback)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegQueryValueExW(hKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS
        || type != REG_DWORD || size != sizeof value)
        return fallback;
    return static_cast<int>(value);
}

std::string ReadText(HKEY hKey, const std::wstring& name, const std::string& fallback)
{
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExW(hKey, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return fallback;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(hKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size)
        != ERROR_SUCCESS)
        return fallback;
    // The stored string may or may not carry its terminating zero.
    text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
    return CWideText::ToUtf8(text);
}

} // namespace

std::wstring CSettingsStore::ApplicationName()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos)
        name.erase(dot);
    return name;
}

std::wstring CSettingsStore::KeyPath()
{
    return std::wstring(L"Software\\") + kOrganization + L"\\" + ApplicationName() + L"\\" + kSection;
}

SettingsValues CSettingsStore::Load()
{
    SettingsValues values;
    const CRegistryKey key(KeyPath(), false);
    if (key.Handle() == nullptr)
        return values;
    for (const SettingRow& row : kSettingRows) {
        const std::wstring name = CWideText::FromUtf8(row.key);
        if (row.text != nullptr)
            values.*row.text = ReadText(key.Handle(), name, values.*row.text);
        else
            values.*row.flag = ReadInteger(key.Handle(), name, values.*row.flag);
    }
    return values;
}

// Every value is written, changed or not; a failed write is not reported
// (the next run then reads the old or the default values).
void CSettingsStore::Save(const SettingsValues& values)
{
    const CRegistryKey key(KeyPath(), true);
    if (key.Handle() == nullptr)
        return;
    for (const SettingRow& row : kSettingRows) {
        const std::wstring name = CWideText::FromUtf8(row.key);
        if (row.text != nullptr) {
            const std::wstring text = CWideText::FromUtf8(values.*row.text);
            RegSetValueExW(key.Handle(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        } else {
            const DWORD value = static_cast<DWORD>(values.*row.flag);
            RegSetValueExW(key.Handle(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           sizeof value);
        }
    }
}
