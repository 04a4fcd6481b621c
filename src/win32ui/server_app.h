#pragma once

#include "platform/event_loop.h"
#include "platform/text_table.h"
#include "win32ui/system_tray.h"

class CMainDlg;

// The application object: brings the program up (sockets, component
// services, common controls, the tray icon), runs the main window until its
// run ends, and carries out the tray menu's commands. One per process, on
// the main thread.
class CServerApp {
public:
    explicit CServerApp(int nShowCmd);
    ~CServerApp();
    CServerApp(const CServerApp&) = delete;
    CServerApp& operator=(const CServerApp&) = delete;

    // All of start-up and the whole run; the process's exit code.
    int InitInstance();
    // The tray menu's commands; false for any other.
    bool OnCommand(int id);
    HWND MainWindow() const;

private:
    static bool InitSockets();
    static void ShowStartupFailure(Text text);

    // The main thread's loop, where the server and its listener live; first
    // made, last gone. The dialogs' own message loops serve its window.
    CEventLoop m_Loop;
    CSystemTray m_TrayIcon;
    CMainDlg* m_pMainWnd = nullptr;
    int m_nShowCmd;
    bool m_bComponents = false;
};
