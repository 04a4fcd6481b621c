#include "ui/local_address_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/text_table.h"
#include "ui/dialog_font.h"
#include "ui/dialog_units.h"
#include "ui/display_text.h"
#include "ui/link_label.h"
#include "ui/local_address.h"
#include "res/maker_links.h"

CLocalAddressDlg::CLocalAddressDlg(QWidget* parent)
    : QDialog(parent)
{
    setFont(CDialogFont::Font());
    // Modal to its owner only: the tray icon keeps working while it is open.
    setWindowModality(Qt::WindowModal);
    setWindowTitle(CDisplayText::Of(Text::AddressCaption));
    const CDialogUnits units(font());
    setFixedSize(units.Size(124, 61));

    auto* ok = new QPushButton(CDisplayText::Of(Text::ButtonOk), this);
    units.Place(ok, 37, 40, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // A plain edit box, so that the address can be selected and copied for
    // passing on; whatever is typed over it goes nowhere.
    m_pAddress = new QLineEdit(this);
    units.Place(m_pAddress, 58, 7, 59, 12);
    m_pAddress->setText(CLocalAddress::OwnForDisplay());

    auto* localCaption = new QLabel(CDisplayText::Of(Text::AddressLocal), this);
    units.Place(localCaption, 6, 9, 48, 8);
    auto* publicCaption = new QLabel(CDisplayText::Of(Text::AddressPublic), this);
    units.Place(publicCaption, 6, 25, 48, 8);

    m_pLink = new CLinkLabel(this);
    m_pLink->setText(CDisplayText::Of(Text::AddressLookupLink));
    units.Place(m_pLink, 58, 24, 58, 8);
    m_pLink->SetUrl(QString::fromLatin1(MakerLinks::kPublicAddress));

    ok->setFocus();
}

QString CLocalAddressDlg::Address() const
{
    return m_pAddress->text();
}
