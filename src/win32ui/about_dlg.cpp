#include "win32ui/about_dlg.h"

#include "res/maker_links.h"
#include "win32ui/resource_ids.h"
#include "win32ui/wide_text.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUT)
{
    m_DownloadLink.SetUrl(CWideText::FromUtf8(MakerLinks::kDownload));
    m_SupportLink.SetUrl(CWideText::FromUtf8(MakerLinks::kSupportForum));
    m_MailLink.SetUrl(CWideText::FromUtf8(MakerLinks::kSupportMail));
    m_WebSiteLink.SetUrl(CWideText::FromUtf8(MakerLinks::kWebSite));
}

void CAboutDlg::OnInitDialog()
{
    SetTexts(Text::AboutCaption, {{IDOK, Text::ButtonOk},
                                  {IDC_LABEL_VERSION, Text::AboutVersion},
                                  {IDC_LABEL_NOTICE, Text::AboutNotice},
                                  {IDC_LABEL_WEB_SITE, Text::AboutWebSite},
                                  {IDC_WEB_SITE_LINK, Text::AboutWebSiteLink},
                                  {IDC_LABEL_MAIL, Text::AboutMail},
                                  {IDC_MAIL_LINK, Text::AboutMailLink},
                                  {IDC_LABEL_DOWNLOAD, Text::AboutDownload},
                                  {IDC_DOWNLOAD_LINK, Text::AboutDownloadLink},
                                  {IDC_LABEL_SUPPORT, Text::AboutSupport},
                                  {IDC_SUPPORT_LINK, Text::AboutSupportLink}});
    m_DownloadLink.Attach(Item(IDC_DOWNLOAD_LINK));
    m_SupportLink.Attach(Item(IDC_SUPPORT_LINK));
    m_MailLink.Attach(Item(IDC_MAIL_LINK));
    m_WebSiteLink.Attach(Item(IDC_WEB_SITE_LINK));
}
