#pragma once

#include "win32ui/dialog.h"
#include "win32ui/link_label.h"

// The product's name and version, the maker's notice, and links to the
// maker's web site, downloads, support forum and customer-service mail.
class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    void OnInitDialog() override;

private:
    CLinkLabel m_DownloadLink;
    CLinkLabel m_SupportLink;
    CLinkLabel m_MailLink;
    CLinkLabel m_WebSiteLink;
};
