#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>

#include "session/session_host.h"

enum class SettingKind {
    Text,
    Flag,
};

template <SettingKind kind>
struct SettingType;
template <>
struct SettingType<SettingKind::Text> {
    using Type = std::string; // UTF-8
};
template <>
struct SettingType<SettingKind::Flag> {
    using Type = int;
};

// The settings as the settings file, the dialog and the running server
// exchange them; each field starts at its default.
struct SettingsValues {
#define SETTING(key, kind, fallback, right) SettingType<SettingKind::kind>::Type key = fallback;
#include "server/settings.def"
#undef SETTING

    bool operator==(const SettingsValues&) const = default;
};

// One row of the settings table: where a setting lives in SettingsValues,
// under which key it is stored, and which right it grants.
struct SettingRow {
    constexpr SettingRow(const char* name, Right granted, std::string SettingsValues::*field)
        : key(name)
        , right(granted)
        , text(field)
    {
    }
    constexpr SettingRow(const char* name, Right granted, int SettingsValues::*field)
        : key(name)
        , right(granted)
        , flag(field)
    {
    }

    const char* key;
    Right right;
    std::string SettingsValues::*text = nullptr;  // set for kind Text
    int SettingsValues::*flag = nullptr;          // set for kind Flag
};

inline constexpr SettingRow kSettingRows[] = {
#define SETTING(key, kind, fallback, right) {#key, Right::right, &SettingsValues::key},
#include "server/settings.def"
#undef SETTING
};

// The settings in memory for the whole run. Written on the main thread, read
// by session threads at any moment: each flag is one atomic word, and the
// texts are copied under a lock held only for the copy, so a reader gets the
// old or the new text whole.
class CServerSettings {
public:
    CServerSettings();

    SettingsValues Values() const;
    void SetValues(const SettingsValues& values);

    // 1 for Right::None, which every logged-in user has.
    int RightValue(Right right) const;
    std::string HomeDirectory() const;

private:
    mutable std::mutex m_TextLock;
    SettingsValues m_Texts;  // only the Text fields are read from here
    std::array<std::atomic<int>, std::size(kSettingRows)> m_Flags;  // by row; Text rows unused
};
