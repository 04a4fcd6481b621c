#pragma once

#include <memory>

#include <QApplication>
#include <QPointer>

class CLoopNotifier;
class CMainDlg;
class CSystemTray;

// The application object: brings the program up (settings location, the
// toolkit's Chinese texts, socket and picture support, the tray icon), runs
// the main window until its run ends, and carries out the tray menu's
// commands. One per process, on the main thread.
class CServerApp : public QApplication {
    Q_OBJECT
public:
    CServerApp(int& argc, char** argv);
    ~CServerApp() override;

    // All of start-up and the whole run; returns the process's exit code.
    int InitInstance();

    void OnAppAbout();
    void OnAppExit();

private:
    static bool LiftDescriptorLimitAndIgnoreBrokenPipes();
    static bool InitComponents();
    static void ShowStartupFailure(const QString& text);
    void CreateTrayIcon();

    // The main thread's event loop, where the server and its listener live;
    // first made, last gone.
    std::unique_ptr<CLoopNotifier> m_pLoop;
    std::unique_ptr<CSystemTray> m_pTrayIcon;
    bool m_bTrayIcon = false;
    QPointer<CMainDlg> m_pMainWnd;
};
