#include "win32ui/server_app.h"

#include <winsock2.h>
#include <commctrl.h>
#include <ole2.h>

#include "win32ui/main_dlg.h"
#include "win32ui/resource_ids.h"
#include "win32ui/settings_store.h"
#include "win32ui/wide_text.h"

namespace {

// The show states of a program launched as an icon.
bool IsIconic(int nShowCmd)
{
    return nShowCmd == SW_SHOWMINIMIZED || nShowCmd == SW_MINIMIZE || nShowCmd == SW_SHOWMINNOACTIVE;
}

} // namespace

CServerApp::CServerApp(int nShowCmd)
    : m_TrayIcon([this] { return MainWindow(); })
    , m_nShowCmd(nShowCmd)
{
    // A wait of the main thread (Stop's) serves only the loop's own window;
    // the others keep painting through this.
    m_Loop.SetWaitHook([] {
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
            DispatchMessageW(&message);
    });
}

CServerApp::~CServerApp()
{
    m_Loop.SetWaitHook(nullptr);
    if (m_bComponents)
        OleUninitialize();
}

int CServerApp::InitInstance()
{
    if (!InitSockets()) {
        ShowStartupFailure(Text::SocketInitFailed);
        return 1;
    }
    // The folder browser needs the component services.
    m_bComponents = SUCCEEDED(OleInitialize(nullptr));
    if (!m_bComponents) {
        ShowStartupFailure(Text::ComponentInitFailed);
        return 1;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    auto hIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (!m_TrayIcon.CreateTrayIcon(WM_TRAY_NOTIFY, CWideText::Of(Text::TrayTip), hIcon, IDR_TRAY_MENU))
        return 1;

    CMainDlg mainDlg;
    m_pMainWnd = &mainDlg;
    mainDlg.SetCommandTarget([this](int id) { return OnCommand(id); });
    mainDlg.SetStartHidden(IsIconic(m_nShowCmd));
    mainDlg.DoModal(nullptr);
    m_pMainWnd = nullptr;
    return 0;
}

bool CServerApp::InitSockets()
{
    WSADATA data = {};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void CServerApp::ShowStartupFailure(Text text)
{
    MessageBoxW(nullptr, CWideText::Of(text).c_str(), CSettingsStore::ApplicationName().c_str(), MB_OK);
}

HWND CServerApp::MainWindow() const
{
    return m_pMainWnd != nullptr ? m_pMainWnd->Handle() : nullptr;
}

bool CServerApp::OnCommand(int id)
{
    if (m_pMainWnd == nullptr)
        return false;
    switch (id) {
    case ID_APP_ABOUT:
        m_pMainWnd->OnAbout();
        return true;
    case ID_SHOW_MAIN_WINDOW:
    case ID_SHOW_MAIN_WINDOW_ALT:
        m_pMainWnd->ShowMainWindow();
        return true;
    case ID_APP_EXIT:
        m_pMainWnd->EndRun();
        return true;
    default:
        return false;
    }
}
