#pragma once

#include <QString>

#include "server/server_settings.h"

// The settings file: a per-user QSettings store under the maker's name and
// the program's executable name, section "TesselFTPSettings". Read once at
// start, written once when the window closes; absent values take defaults.
class CSettingsStore {
public:
    static constexpr const char* kOrganization = "Quorvane, Inc.";
    static constexpr const char* kSection = "TesselFTPSettings";

    static SettingsValues Load();
    static void Save(const SettingsValues& values);
    // Where the store lives on this machine.
    static QString FilePath();
    // The application part of the location: the executable's base name.
    static QString ApplicationName();
};
