#pragma once

#include <string>

#include "server/server_settings.h"

// The settings in the registry: HKEY_CURRENT_USER\Software\<maker>\<the
// executable's base name>\TesselFTPSettings, the flags as 32-bit integers
// and the folder as a string. Read once at start, written once when the
// window closes; absent or unreadable values take their defaults.
class CSettingsStore {
public:
    static constexpr const wchar_t* kOrganization = L"Quorvane, Inc.";
    static constexpr const wchar_t* kSection = L"TesselFTPSettings";

    static SettingsValues Load();
    static void Save(const SettingsValues& values);
    // The key below HKEY_CURRENT_USER.
    static std::wstring KeyPath();
    // The executable's base name, as the key names the program.
    static std::wstring ApplicationName();
};
