#pragma once

#include <QDialog>

class CLinkLabel;

// The about box: product, version, the maker's notice and four links to the
// maker's pages. Built, run modally and destroyed by its opener on the main
// thread.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    CLinkLabel* WebSiteLink() const { return m_pWebSite; }
    CLinkLabel* MailLink() const { return m_pMail; }
    CLinkLabel* DownloadLink() const { return m_pDownload; }
    CLinkLabel* SupportLink() const { return m_pSupport; }

private:
    CLinkLabel* m_pDownload;
    CLinkLabel* m_pSupport;
    CLinkLabel* m_pMail;
    CLinkLabel* m_pWebSite;
};
