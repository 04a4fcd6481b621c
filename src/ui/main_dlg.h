#pragma once

#include <memory>

#include <QByteArray>
#include <QDialog>

#include "platform/text_table.h"
#include "server/server_control.h"
#include "server/server_view.h"

class CImageButton;
class CLogModel;
class CLogView;
class CServerSettings;
class QLabel;
class QStatusBar;

// The main window: the five buttons, the log and the status bar. It owns the
// server (listener, registry, connection count) and the settings in memory,
// which the sessions read. It lives on the main thread for the whole run;
// sessions reach it only through the notifications the hub posts there.
class CMainDlg : public QDialog, public IServerView {
    Q_OBJECT
public:
    // The port and address are for tests only; the program listens on 21 on
    // every address.
    explicit CMainDlg(QWidget* parent = nullptr, quint16 nPort = CServerControl::kControlPort,
                      const char* address = nullptr);
    ~CMainDlg() override;

    // Shows the window and runs until its close handling or EndRun ends the
    // run. Hiding the window to the tray does not end it, unlike exec().
    int DoModal();
    // With a notification area the iconify request hides the window; without
    // one the window iconifies as usual, or it could never come back.
    void SetHideOnIconify(bool bHide) { m_bHideOnIconify = bHide; }
    // Ends the run at once: no Stop, no settings written (the tray's Exit).
    // Dialogs still open end with it, as cancelled.
    void EndRun();

    void StartServer() { m_pControl->StartServer(); }
    void StopServer() { m_pControl->StopServer(); }

    CServerControl& Control() const { return *m_pControl; }
    const std::shared_ptr<CServerSettings>& Settings() const { return m_pSettings; }
    CLogModel* LogModel() const { return m_pLogModel; }
    CLogView* LogView() const { return m_pLogList; }
    CImageButton* StartButton() const { return m_btnStart; }
    CImageButton* StopButton() const { return m_btnStop; }
    CImageButton* SettingsButton() const { return m_btnSettings; }
    CImageButton* AddressButton() const { return m_btnAddress; }
    CImageButton* AboutButton() const { return m_btnAbout; }
    QString StatusText() const;
    QString TimePaneText() const;

    // IServerView: Big5 texts become display text here.
    void SetCaption(const std::string& caption) override;
    void SetStatusText(const std::string& status) override;
    void SetServerRunning(bool bRunning) override;
    void AddLogRow(uint32_t threadId, const std::string& message) override;

public slots:
    void OnSettings();
    void OnAddress();
    void OnAbout();
    // Enter and Escape reach these; neither closes the window.
    void accept() override {}
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CImageButton* AddButton(Text label, int x);
    void CreateControls();
    void CreateStatusBar();
    void LayoutControls();
    void OnInitDialog();
    void OnClose();
    void EndOpenDialogs();

    std::shared_ptr<CServerSettings> m_pSettings;
    std::unique_ptr<CServerControl> m_pControl;
    CImageButton* m_btnAbout = nullptr;
    CImageButton* m_btnStop = nullptr;
    CImageButton* m_btnStart = nullptr;
    CImageButton* m_btnSettings = nullptr;
    CImageButton* m_btnAddress = nullptr;
    CLogView* m_pLogList = nullptr;
    CLogModel* m_pLogModel = nullptr;
    QStatusBar* m_pStatusBar = nullptr;
    QLabel* m_pStatusPane = nullptr;
    QLabel* m_pTimePane = nullptr;
    bool m_bInitialized = false;
    bool m_bHideOnIconify = false;
};
