#pragma once

#include <atomic>
#include <mutex>

#include <QString>

#include "session/session_host.h"

// The seven settings as the settings store and the settings dialog exchange them.
struct SettingsValues {
    QString HomeDirectory;
    int AllowCreateDir = 0;
    int AllowDelete = 0;
    int AllowDownload = 1;
    int AllowRename = 0;
    int AllowUpload = 0;
    int AutoStart = 1;

    bool operator==(const SettingsValues&) const = default;
};

// The settings in memory for the whole run. Written on the main thread, read
// by session threads at any moment: each right is one atomic word, and the
// root directory text is copied under a lock held only for the copy, so a
// reader gets the old or the new text whole.
class CServerSettings {
public:
    SettingsValues Values() const;
    void SetValues(const SettingsValues& values);

    int RightValue(Right right) const;
    QString HomeDirectory() const;

private:
    std::atomic<int>* Slot(Right right);
    const std::atomic<int>* Slot(Right right) const;

    mutable std::mutex m_HomeLock;
    QString m_strHomeDirectory;
    std::atomic<int> m_nAllowCreateDir{0};
    std::atomic<int> m_nAllowDelete{0};
    std::atomic<int> m_nAllowDownload{1};
    std::atomic<int> m_nAllowRename{0};
    std::atomic<int> m_nAllowUpload{0};
    std::atomic<int> m_nAutoStart{1};
};
