#include "win32ui/system_tray.h"

#include "platform/text_table.h"
#include "win32ui/resource_ids.h"
#include "win32ui/wide_text.h"

namespace {

constexpr const wchar_t* kWindowClass = L"CSystemTray";
constexpr const wchar_t* kWindowText = L"CSystemTray Dummy Window";

struct MenuEntry {
    UINT command;  // 0: a separator
    Text text;
};

const MenuEntry kMenu[] = {
    {ID_APP_ABOUT, Text::TrayAbout},
    {0, Text::Count},
    {ID_SHOW_MAIN_WINDOW, Text::TrayOpen},
    {0, Text::Count},
    {ID_APP_EXIT, Text::TrayExit},
};

void RegisterWindowClass(HINSTANCE hInstance, WNDPROC procedure)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = hInstance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
}

} // namespace

CSystemTray::CSystemTray(MainWindow mainWindow) : m_MainWindow(std::move(mainWindow))
{
}

CSystemTray::~CSystemTray()
{
    if (m_hWnd == nullptr)
        return;
    m_Icon.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &m_Icon);
    DestroyWindow(m_hWnd);
}

bool CSystemTray::CreateTrayIcon(UINT callbackMessage, const std::wstring& tip, HICON hIcon, UINT id)
{
    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    RegisterWindowClass(hInstance, &CSystemTray::WindowProc);
    m_hWnd = CreateWindowExW(0, kWindowClass, kWindowText, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, hInstance, nullptr);
    if (m_hWnd == nullptr)
        return false;
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_Icon.cbSize = sizeof m_Icon;
    m_Icon.hWnd = m_hWnd;
    m_Icon.uID = id;
    m_Icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_Icon.uCallbackMessage = callbackMessage;
    m_Icon.hIcon = hIcon;
    lstrcpynW(m_Icon.szTip, tip.c_str(), static_cast<int>(std::size(m_Icon.szTip)));
    return Shell_NotifyIconW(NIM_ADD, &m_Icon) != FALSE;
}

LRESULT CALLBACK CSystemTray::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* tray = reinterpret_cast<CSystemTray*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (tray != nullptr && message == tray->m_Icon.uCallbackMessage)
        return tray->OnIconEvent(static_cast<UINT>(wParam), static_cast<UINT>(lParam));
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

LRESULT CSystemTray::OnIconEvent(UINT id, UINT mouseMessage)
{
    if (id != m_Icon.uID)
        return 0;
    HWND hMain = m_MainWindow ? m_MainWindow() : nullptr;
    if (hMain == nullptr)
        return 1;
    switch (LOWORD(mouseMessage)) {
    case WM_LBUTTONDBLCLK:
        ShowWindow(hMain, SW_SHOW);
        SetForegroundWindow(hMain);
        return 1;
    case WM_RBUTTONUP:
        ShowMenu(hMain);
        return 1;
    default:
        return 1;
    }
}

// The chosen entry reaches the main window as an ordinary menu command. The
// empty message afterwards lets the menu close when the user clicks elsewhere.
void CSystemTray::ShowMenu(HWND hMainWindow) const
{
    HMENU hMenu = CreatePopupMenu();
    for (const MenuEntry& entry : kMenu) {
        if (entry.command == 0)
            AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(hMenu, MF_STRING, entry.command, CWideText::Of(entry.text).c_str());
    }
    POINT cursor = {};
    GetCursorPos(&cursor);
    SetForegroundWindow(hMainWindow);
    TrackPopupMenu(hMenu, 0, cursor.x, cursor.y, 0, hMainWindow, nullptr);
    DestroyMenu(hMenu);
    PostMessageW(hMainWindow, WM_NULL, 0, 0);
}
