#include "ui/server_app.h"

#include <csignal>

#include <QIcon>
#include <QImageReader>
#include <QMessageBox>

#include "platform/descriptor_limit.h"
#include "platform/text_table.h"
#include "ui/dialog_font.h"
#include "ui/display_text.h"
#include "ui/loop_notifier.h"
#include "ui/main_dlg.h"
#include "ui/settings_store.h"
#include "ui/system_tray.h"
#include "ui/toolkit_translation.h"

namespace {

const QString kIcon = QStringLiteral(":/img/icon.png");

} // namespace

CServerApp::CServerApp(int& argc, char** argv) : QApplication(argc, argv), m_pLoop(std::make_unique<CLoopNotifier>())
{
    // The settings location: the maker's folder and the executable's name.
    setOrganizationName(QString::fromUtf8(CSettingsStore::kOrganization));
    setApplicationName(CSettingsStore::ApplicationName());
    setWindowIcon(QIcon(kIcon));
    // Before any window, the start-up failure boxes included. Without the
    // catalogue the toolkit's own texts stay English, which is no reason to stop.
    CToolkitTranslation::Install();
    // The run ends when the main window's run ends, not when the last
    // visible window closes: the main window may be hidden behind the tray
    // while an about box opened from the tray is closed.
    setQuitOnLastWindowClosed(false);
}

// The icon leaves the notification area before the application goes.
CServerApp::~CServerApp()
{
    m_pTrayIcon.reset();
}

int CServerApp::InitInstance()
{
    if (!LiftDescriptorLimitAndIgnoreBrokenPipes()) {
        ShowStartupFailure(CDisplayText::Of(Text::SocketInitFailed));
        return 1;
    }
    if (!InitComponents()) {
        ShowStartupFailure(CDisplayText::Of(Text::ComponentInitFailed));
        return 1;
    }
    setFont(CDialogFont::Font());
    CreateTrayIcon();

    CMainDlg mainDlg;
    m_pMainWnd = &mainDlg;
    mainDlg.SetHideOnIconify(m_bTrayIcon);
    m_pTrayIcon->SetMainWindow(&mainDlg);
    // The desktop has no launch show state here: the window opens normally.
    mainDlg.DoModal();
    return 0;
}

// A peer that closes while we send must end its session, not the process.
// Each client takes descriptors, and the soft limit a desktop starts programs
// with would turn clients away long before memory runs short; a system that
// refuses to lift it still leaves a server for fewer clients.
bool CServerApp::LiftDescriptorLimitAndIgnoreBrokenPipes()
{
    CDescriptorLimit::RaiseToHard();
    return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

// The log's background picture is the only thing that needs more than the
// toolkit's core: a reader for its format.
bool CServerApp::InitComponents()
{
    return QImageReader::supportedImageFormats().contains("png");
}

void CServerApp::ShowStartupFailure(const QString& text)
{
    QMessageBox::critical(nullptr, applicationName(), text, QMessageBox::Ok);
}

// Without a notification area the program runs without the icon, and
// iconifying the window minimises it as usual.
void CServerApp::CreateTrayIcon()
{
    m_pTrayIcon = std::make_unique<CSystemTray>();
    m_bTrayIcon = m_pTrayIcon->CreateTrayIcon(CDisplayText::Of(Text::TrayTip), QIcon(kIcon));
    connect(m_pTrayIcon.get(), &CSystemTray::About, this, &CServerApp::OnAppAbout);
    connect(m_pTrayIcon.get(), &CSystemTray::Exit, this, &CServerApp::OnAppExit);
}

// The same about box as the window's own button, owned by the window even
// while it is hidden, so that it never blocks the tray icon.
void CServerApp::OnAppAbout()
{
    if (m_pMainWnd)
        m_pMainWnd->OnAbout();
}

// Ends the run without the window's close handling: the server is not
// stopped and the settings of this run are not written.
void CServerApp::OnAppExit()
{
    if (m_pMainWnd)
        m_pMainWnd->EndRun();
}
