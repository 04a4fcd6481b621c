#include "win32ui/settings_dlg.h"

#include <shlobj.h>

#include "win32ui/resource_ids.h"
#include "win32ui/wide_text.h"

namespace {

struct FlagControl {
    int id;
    Text text;
    int SettingsValues::*field;
};

const FlagControl kFlagControls[] = {
    {IDC_ALLOW_CREATE_DIR, Text::SettingsCreateDir, &SettingsValues::AllowCreateDir},
    {IDC_ALLOW_DELETE, Text::SettingsDelete, &SettingsValues::AllowDelete},
    {IDC_ALLOW_DOWNLOAD, Text::SettingsDownload, &SettingsValues::AllowDownload},
    {IDC_ALLOW_RENAME, Text::SettingsRename, &SettingsValues::AllowRename},
    {IDC_ALLOW_UPLOAD, Text::SettingsUpload, &SettingsValues::AllowUpload},
    {IDC_AUTO_START, Text::SettingsAutoStart, &SettingsValues::AutoStart},
};

void ShowBrowseFailure(HWND hOwner)
{
    MessageBoxW(hOwner, CWideText::Of(Text::BrowseFailed).c_str(), nullptr, MB_OK | MB_ICONERROR);
}

} // namespace

CSettingsDlg::CSettingsDlg(const SettingsValues& values)
    : CDialog(IDD_SETTINGS)
    , m_Values(values)
{
}

void CSettingsDlg::OnInitDialog()
{
    SetTexts(Text::SettingsCaption, {{IDOK, Text::ButtonOk},
                                     {IDCANCEL, Text::ButtonCancel},
                                     {IDC_LABEL_GROUP, Text::SettingsGroup},
                                     {IDC_LABEL_ROOT, Text::SettingsRoot},
                                     {IDC_BROWSE, Text::SettingsBrowse}});
    for (const FlagControl& control : kFlagControls)
        SetItemText(control.id, control.text);
    ValuesToControls();
}

void CSettingsDlg::ValuesToControls() const
{
    SetDlgItemTextW(Handle(), IDC_HOME_DIRECTORY, CWideText::FromUtf8(m_Values.HomeDirectory).c_str());
    for (const FlagControl& control : kFlagControls)
        CheckDlgButton(Handle(), control.id, m_Values.*control.field != 0 ? BST_CHECKED : BST_UNCHECKED);
}

// The folder is taken exactly as typed: nothing is trimmed, completed or
// checked.
void CSettingsDlg::ControlsToValues()
{
    HWND hEdit = Item(IDC_HOME_DIRECTORY);
    std::wstring folder(static_cast<size_t>(GetWindowTextLengthW(hEdit)) + 1, L'\0');
    folder.resize(static_cast<size_t>(GetWindowTextW(hEdit, folder.data(), static_cast<int>(folder.size()))));
    m_Values.HomeDirectory = CWideText::ToUtf8(folder);
    for (const FlagControl& control : kFlagControls)
        m_Values.*control.field = IsDlgButtonChecked(Handle(), control.id) == BST_CHECKED ? 1 : 0;
}

void CSettingsDlg::OnOK()
{
    ControlsToValues();
    End(IDOK);
}

bool CSettingsDlg::OnCommand(int id)
{
    if (id != IDC_BROWSE)
        return CDialog::OnCommand(id);
    OnBrowse();
    return true;
}

// Only the folder box takes the choice; box changes made before browsing stay.
void CSettingsDlg::OnBrowse()
{
    const std::wstring folder = ChooseFolder(Handle());
    if (!folder.empty())
        SetDlgItemTextW(Handle(), IDC_HOME_DIRECTORY, folder.c_str());
}

std::wstring CSettingsDlg::ChooseFolder(HWND hOwner)
{
    std::wstring title = CWideText::Of(Text::BrowseTitle);
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW browse = {};
    browse.hwndOwner = hOwner;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (chosen == nullptr)
        return {};
    wchar_t path[MAX_PATH] = {};
    const bool bPath = SHGetPathFromIDListW(chosen, path) != FALSE && path[0] != L'\0';
    CoTaskMemFree(chosen);
    if (!bPath) {
        ShowBrowseFailure(hOwner);
        return {};
    }
    return path;
}
