#include "win32ui/main_dlg.h"

#include <commctrl.h>

#include "server/server_settings.h"
#include "win32ui/about_dlg.h"
#include "win32ui/local_address_dlg.h"
#include "win32ui/resource_ids.h"
#include "win32ui/settings_dlg.h"
#include "win32ui/settings_store.h"
#include "win32ui/wide_text.h"

namespace {

constexpr int kFaceCount = 4;
constexpr int kFaceMargin = 6;
// Pixels kept free below the log for the status bar.
constexpr int kStatusRoom = 25;
// The right pane: its text's width and the pane's borders.
constexpr int kPaneBorders = 8;

HICON LoadProgramIcon(int metric)
{
    const int size = GetSystemMetrics(metric);
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
}

// Every dialog of this thread but the main window; they end first.
BOOL CALLBACK EndOtherDialog(HWND hWnd, LPARAM main)
{
    wchar_t className[16] = {};
    GetClassNameW(hWnd, className, 16);
    if (hWnd != reinterpret_cast<HWND>(main) && wcscmp(className, L"#32770") == 0)
        EndDialog(hWnd, IDCANCEL);
    return TRUE;
}

} // namespace

CMainDlg::CMainDlg(uint16_t nPort)
    : CDialog(IDD_MAIN)
    , m_pSettings(std::make_shared<CServerSettings>())
{
    m_pSettings->SetValues(CSettingsStore::Load());
    m_pControl = std::make_unique<CServerControl>(this, m_pSettings, nPort);
    m_hIcon = LoadProgramIcon(SM_CXICON);
    m_hSmallIcon = LoadProgramIcon(SM_CXSMICON);
    m_hLogPicture = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_LOG_BACKGROUND),
                                                    IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

// The listener closes with the control; sessions still running are left to
// end with the process.
CMainDlg::~CMainDlg()
{
    m_pControl.reset();
    if (m_hLogPicture != nullptr)
        DeleteObject(m_hLogPicture);
    DestroyIcon(m_hIcon);
    DestroyIcon(m_hSmallIcon);
}

void CMainDlg::OnInitDialog()
{
    SetTexts(Text::CaptionInitial, {{IDC_START, Text::ButtonStart},
                                    {IDC_STOP, Text::ButtonStop},
                                    {IDC_SETTINGS, Text::ButtonSettings},
                                    {IDC_ADDRESS, Text::ButtonAddress},
                                    {IDC_ABOUT, Text::ButtonAbout}});
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
    CreateStatusBar();
    m_LogList.Attach(Item(IDC_LOG_LIST), m_hLogPicture);
    AttachButtons();
    SetStatusText(CTextTable::Big5(Text::StatusOffline));
    // Posted, so that the server starts once the window is up and the start
    // row is the first row of the log.
    if (m_pSettings->Values().AutoStart != 0)
        PostMessageW(Handle(), WM_COMMAND, ID_AUTO_START, 0);
    if (m_bStartHidden) {
        PostMessageW(Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        ShowWindow(Handle(), SW_HIDE);
    }
    m_bInitialized = true;
    LayoutControls();
    m_LogList.AutoSizeColumns();
}

void CMainDlg::AttachButtons()
{
    CImageButton* const buttons[] = {&m_btnStart, &m_btnStop, &m_btnSettings, &m_btnAddress, &m_btnAbout};
    const int ids[] = {IDC_START, IDC_STOP, IDC_SETTINGS, IDC_ADDRESS, IDC_ABOUT};
    for (size_t i = 0; i < std::size(buttons); ++i) {
        buttons[i]->Attach(Item(ids[i]));
        buttons[i]->LoadFaceStrip(IDB_BUTTON_FACES, kFaceCount, kFaceMargin, kFaceMargin, kFaceMargin, kFaceMargin);
        buttons[i]->SetLabelColor(RGB(0, 0, 0));
        buttons[i]->SetOptions(CImageButton::kOptionHoverTracking, 0);
    }
}

// The bar goes below the controls: the window grows by its height, so that
// every control keeps its place.
void CMainDlg::CreateStatusBar()
{
    m_hStatusBar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, Handle(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_STATUS_BAR)),
                                   GetModuleHandleW(nullptr), nullptr);
    RECT bar = {};
    GetWindowRect(m_hStatusBar, &bar);
    RECT window = {};
    GetWindowRect(Handle(), &window);
    SetWindowPos(Handle(), nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top + (bar.bottom - bar.top), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The bar at the bottom with its right pane as wide as the text it was made
// for; the log keeps its left and top offsets, as much room on the right as
// on the left, and kStatusRoom below it.
void CMainDlg::LayoutControls() const
{
    if (!m_bInitialized)
        return;
    SendMessageW(m_hStatusBar, WM_SIZE, 0, 0);
    RECT client = {};
    GetClientRect(Handle(), &client);
    HDC hdc = GetDC(m_hStatusBar);
    HGDIOBJ hOld = SelectObject(hdc, reinterpret_cast<HFONT>(SendMessageW(m_hStatusBar, WM_GETFONT, 0, 0)));
    const std::wstring pane = CWideText::Of(Text::PaneTime);
    SIZE extent = {};
    GetTextExtentPoint32W(hdc, pane.c_str(), static_cast<int>(pane.size()), &extent);
    SelectObject(hdc, hOld);
    ReleaseDC(m_hStatusBar, hdc);
    const int parts[] = {client.right - extent.cx - kPaneBorders, -1};
    SendMessageW(m_hStatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));

    HWND hList = m_LogList.Handle();
    RECT list = {};
    GetWindowRect(hList, &list);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&list), 2);
    MoveWindow(hList, list.left, list.top, client.right - 2 * list.left, client.bottom - kStatusRoom - list.top, TRUE);
}

bool CMainDlg::OnCommand(int id)
{
    switch (id) {
    case IDC_START:
    case ID_AUTO_START:
        StartServer();
        return true;
    case IDC_STOP:
        StopServer();
        return true;
    case IDC_SETTINGS:
        OnSettings();
        return true;
    case IDC_ADDRESS:
        OnAddress();
        return true;
    case IDC_ABOUT:
        OnAbout();
        return true;
    default:
        if (CDialog::OnCommand(id))
            return true;
        return m_CommandTarget && m_CommandTarget(id);
    }
}

bool CMainDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    switch (message) {
    case WM_CLOSE:
        OnClose();
        return true;
    case WM_SIZE:
        LayoutControls();
        return false;
    // Iconifying hides the window: the tray icon is the way back.
    case WM_SYSCOMMAND:
        if (wParam != SC_MINIMIZE)
            return false;
        ShowWindow(Handle(), SW_HIDE);
        return true;
    case WM_NOTIFY:
        if (!m_LogList.OnNotify(*reinterpret_cast<const NMHDR*>(lParam)))
            return false;
        result = 0;
        return true;
    default:
        return false;
    }
}

void CMainDlg::OnClose()
{
    StopServer();
    CSettingsStore::Save(m_pSettings->Values());
    End(IDCANCEL);
}

void CMainDlg::EndRun()
{
    EnumThreadWindows(GetCurrentThreadId(), &EndOtherDialog, reinterpret_cast<LPARAM>(Handle()));
    End(IDCANCEL);
}

void CMainDlg::ShowMainWindow() const
{
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
}

void CMainDlg::OnSettings()
{
    CSettingsDlg dialog(m_pSettings->Values());
    if (dialog.DoModal(Handle()) == IDOK)
        m_pSettings->SetValues(dialog.Values());
}

void CMainDlg::OnAddress()
{
    CLocalAddressDlg dialog;
    dialog.DoModal(Handle());
}

void CMainDlg::OnAbout()
{
    CAboutDlg dialog;
    dialog.DoModal(Handle());
}

void CMainDlg::SetCaption(const std::string& caption)
{
    if (Handle() != nullptr)
        SetWindowTextW(Handle(), CWideText::FromBig5(caption).c_str());
}

void CMainDlg::SetStatusText(const std::string& status)
{
    if (m_hStatusBar != nullptr)
        SendMessageW(m_hStatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(CWideText::FromBig5(status).c_str()));
}

void CMainDlg::SetServerRunning(bool bRunning)
{
    EnableWindow(Item(IDC_START), !bRunning);
    EnableWindow(Item(IDC_STOP), bRunning);
}

void CMainDlg::AddLogRow(uint32_t threadId, const std::string& message)
{
    m_LogList.Append(threadId, message);
}
