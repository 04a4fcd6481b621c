#pragma once

#include <functional>
#include <string>

#include <windows.h>
#include <shellapi.h>

// The icon in the notification area, with its tip and menu. It knows
// nothing of the server: a double-click or "open" shows the main window,
// and the menu's commands go to the main window as ordinary commands. A
// hidden window of its own receives the shell's callbacks.
class CSystemTray {
public:
    using MainWindow = std::function<HWND()>;

    explicit CSystemTray(MainWindow mainWindow);
    ~CSystemTray();
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // True when the icon was added.
    bool CreateTrayIcon(UINT callbackMessage, const std::wstring& tip, HICON hIcon, UINT id);
    // 0 when the event is not this icon's or the menu cannot be shown.
    LRESULT OnIconEvent(UINT id, UINT mouseMessage);

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowMenu(HWND hMainWindow) const;

    MainWindow m_MainWindow;
    HWND m_hWnd = nullptr;
    NOTIFYICONDATAW m_Icon = {};
};
