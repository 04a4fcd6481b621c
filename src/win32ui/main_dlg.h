#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "server/server_control.h"
#include "server/server_view.h"
#include "win32ui/dialog.h"
#include "win32ui/image_button.h"
#include "win32ui/log_list.h"

class CServerSettings;

// The main window: the five picture buttons, the log and the status bar. It
// owns the server (listener, registry, connection count) and the settings in
// memory, which the sessions read. It lives on the main thread for the whole
// run; sessions reach it only through what the hub posts to that thread's
// loop, whose window the dialog's own message loop serves.
class CMainDlg : public CDialog, public IServerView {
public:
    // Commands the window does not handle itself (the tray menu's) go here.
    using CommandTarget = std::function<bool(int id)>;

    explicit CMainDlg(uint16_t nPort = CServerControl::kControlPort);
    ~CMainDlg() override;

    // Launched iconic: the window hides itself as it opens.
    void SetStartHidden(bool bHidden) { m_bStartHidden = bHidden; }
    void SetCommandTarget(CommandTarget target) { m_CommandTarget = std::move(target); }

    void StartServer() { m_pControl->StartServer(); }
    void StopServer() { m_pControl->StopServer(); }
    void OnSettings();
    void OnAddress();
    void OnAbout();
    // Shown where it was and brought to the front.
    void ShowMainWindow() const;
    // Ends the run at once, dialogs still open included, as cancelled: no
    // Stop, no settings written (the tray's Exit).
    void EndRun();

    CServerControl& Control() const { return *m_pControl; }

    // IServerView: Big5 texts become wide text here.
    void SetCaption(const std::string& caption) override;
    void SetStatusText(const std::string& status) override;
    void SetServerRunning(bool bRunning) override;
    void AddLogRow(uint32_t threadId, const std::string& message) override;

protected:
    void OnInitDialog() override;
    bool OnCommand(int id) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    // Enter and Escape close nothing.
    void OnOK() override {}
    void OnCancel() override {}

private:
    void AttachButtons();
    void CreateStatusBar();
    void LayoutControls() const;
    void OnClose();

    std::shared_ptr<CServerSettings> m_pSettings;
    std::unique_ptr<CServerControl> m_pControl;
    CImageButton m_btnAbout;
    CImageButton m_btnStop;
    CImageButton m_btnStart;
    CImageButton m_btnSettings;
    CImageButton m_btnAddress;
    CLogList m_LogList;
    HWND m_hStatusBar = nullptr;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    HBITMAP m_hLogPicture = nullptr;
    CommandTarget m_CommandTarget;
    bool m_bStartHidden = false;
    bool m_bInitialized = false;
};
