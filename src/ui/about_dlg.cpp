#include "ui/about_dlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "platform/text_table.h"
#include "ui/dialog_font.h"
#include "ui/dialog_units.h"
#include "ui/display_text.h"
#include "ui/link_label.h"
#include "res/maker_links.h"

namespace {

constexpr int kIconSize = 32;

// One caption and its link; positions are dialog units.
struct LinkRow {
    Text caption;
    QRect captionRect;
    Text linkText;
    QRect linkRect;
    const char* url;
};

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setFont(CDialogFont::Font());
    // Modal to its owner only: the tray icon keeps working while it is open.
    setWindowModality(Qt::WindowModal);
    setWindowTitle(CDisplayText::Of(Text::AboutCaption));
    const CDialogUnits units(font());
    setFixedSize(units.Size(265, 80));

    auto* ok = new QPushButton(CDisplayText::Of(Text::ButtonOk), this);
    units.Place(ok, 219, 7, 39, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // An icon keeps its natural size, whatever the cell the units give it.
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/img/icon.png")).pixmap(kIconSize, kIconSize));
    icon->setGeometry(QRect(units.Rect(7, 7, 20, 20).topLeft(), QSize(kIconSize, kIconSize)));

    auto* version = new QLabel(CDisplayText::Of(Text::AboutVersion), this);
    units.Place(version, 58, 7, 91, 8);
    auto* notice = new QLabel(CDisplayText::Of(Text::AboutNotice), this);
    units.Place(notice, 57, 18, 137, 8);

    const LinkRow rows[] = {
        {Text::AboutWebSite, QRect(7, 48, 41, 8), Text::AboutWebSiteLink, QRect(48, 47, 86, 8),
         MakerLinks::kWebSite},
        {Text::AboutMail, QRect(7, 65, 41, 8), Text::AboutMailLink, QRect(49, 64, 82, 8),
         MakerLinks::kSupportMail},
        {Text::AboutDownload, QRect(141, 47, 41, 8), Text::AboutDownloadLink, QRect(182, 46, 44, 8),
         MakerLinks::kDownload},
        {Text::AboutSupport, QRect(142, 63, 41, 8), Text::AboutSupportLink, QRect(183, 62, 68, 8),
         MakerLinks::kSupportForum},
    };
    CLinkLabel* links[std::size(rows)] = {};
    for (size_t i = 0; i < std::size(rows); ++i) {
        const LinkRow& row = rows[i];
        auto* caption = new QLabel(CDisplayText::Of(row.caption), this);
        const QRect& c = row.captionRect;
        units.Place(caption, c.x(), c.y(), c.width(), c.height());
        links[i] = new CLinkLabel(this);
        links[i]->setText(CDisplayText::Of(row.linkText));
        const QRect& l = row.linkRect;
        units.Place(links[i], l.x(), l.y(), l.width(), l.height());
        links[i]->SetUrl(QString::fromLatin1(row.url));
    }
    m_pWebSite = links[0];
    m_pMail = links[1];
    m_pDownload = links[2];
    m_pSupport = links[3];

    ok->setFocus();
}
