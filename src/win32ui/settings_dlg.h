#pragma once

#include <string>

#include "server/server_settings.h"
#include "win32ui/dialog.h"

// The settings dialog: the root folder, the five rights and the start
// switch, edited on a copy that the opener takes back only on OK.
class CSettingsDlg : public CDialog {
public:
    explicit CSettingsDlg(const SettingsValues& values);

    const SettingsValues& Values() const { return m_Values; }
    // The shell's folder browser: the chosen folder's path, or empty when
    // nothing was chosen (a failure has been shown to the user by then).
    static std::wstring ChooseFolder(HWND hOwner);

protected:
    void OnInitDialog() override;
    bool OnCommand(int id) override;
    void OnOK() override;

private:
    void ValuesToControls() const;
    void ControlsToValues();
    void OnBrowse();

    SettingsValues m_Values;
};
