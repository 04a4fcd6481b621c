#include "ui/settings_dlg.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "platform/text_table.h"
#include "ui/dialog_font.h"
#include "ui/dialog_units.h"
#include "ui/display_text.h"

namespace {

// Built here rather than through the static helper, which would turn a
// remote choice into URL text that then passes for a path, and which runs
// application-modal, leaving the tray icon dead while the chooser is open.
QUrl ChooseFolder(QWidget* owner, const QString& title)
{
    QFileDialog dialog(owner, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setSupportedSchemes({QStringLiteral("file")});
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted)
        return QUrl();
    return dialog.selectedUrls().value(0);
}

// The check boxes in tab order, with their places in dialog units.
struct FlagControl {
    int SettingsValues::*field;
    Text text;
    int x;
    int y;
    int width;
};

constexpr FlagControl kFlagControls[] = {
    {&SettingsValues::AllowDownload, Text::SettingsDownload, 15, 30, 60},
    {&SettingsValues::AllowUpload, Text::SettingsUpload, 83, 30, 60},
    {&SettingsValues::AllowDelete, Text::SettingsDelete, 151, 30, 60},
    {&SettingsValues::AllowRename, Text::SettingsRename, 84, 46, 61},
    {&SettingsValues::AllowCreateDir, Text::SettingsCreateDir, 15, 46, 60},
    {&SettingsValues::AutoStart, Text::SettingsAutoStart, 15, 64, 87},
};
constexpr int kCheckBoxHeight = 10;

} // namespace

CSettingsDlg::CSettingsDlg(const SettingsValues& values, QWidget* parent)
    : QDialog(parent)
    , m_Values(values)
    , m_Chooser(ChooseFolder)
{
    setFont(CDialogFont::Font());
    // Modal to its owner only: the tray icon keeps working while it is open.
    setWindowModality(Qt::WindowModal);
    setWindowTitle(CDisplayText::Of(Text::SettingsCaption));
    const CDialogUnits units(font());
    setFixedSize(units.Size(223, 81));

    // Created in tab order: OK, Cancel, the root directory, the boxes.
    auto* ok = new QPushButton(CDisplayText::Of(Text::ButtonOk), this);
    units.Place(ok, 115, 60, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    auto* cancel = new QPushButton(CDisplayText::Of(Text::ButtonCancel), this);
    units.Place(cancel, 165, 60, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CSettingsDlg::reject);

    auto* group = new QGroupBox(CDisplayText::Of(Text::SettingsGroup), this);
    units.Place(group, 7, 2, 209, 56);
    auto* rootCaption = new QLabel(CDisplayText::Of(Text::SettingsRoot), this);
    units.Place(rootCaption, 13, 15, 34, 8);
    m_pHomeDirectory = new QLineEdit(this);
    units.Place(m_pHomeDirectory, 53, 13, 144, 12);
    auto* browse = new QPushButton(CDisplayText::Of(Text::SettingsBrowse), this);
    units.Place(browse, 198, 13, 16, 12);
    connect(browse, &QPushButton::clicked, this, &CSettingsDlg::OnBrowse);

    for (const FlagControl& control : kFlagControls) {
        auto* box = new QCheckBox(CDisplayText::Of(control.text), this);
        units.Place(box, control.x, control.y, control.width, kCheckBoxHeight);
        m_Flags.push_back({control.field, box});
    }
    ValuesToControls();
    ok->setFocus();
}

void CSettingsDlg::SetFolderChooser(FolderChooser chooser)
{
    m_Chooser = std::move(chooser);
}

void CSettingsDlg::accept()
{
    ControlsToValues();
    QDialog::accept();
}

void CSettingsDlg::ValuesToControls()
{
    m_pHomeDirectory->setText(QString::fromStdString(m_Values.HomeDirectory));
    // Any value other than 0 is a granted right, as the sessions read it.
    for (const FlagBinding& flag : m_Flags)
        flag.box->setChecked(m_Values.*flag.field != 0);
}

void CSettingsDlg::ControlsToValues()
{
    m_Values.HomeDirectory = m_pHomeDirectory->text().toStdString();
    for (const FlagBinding& flag : m_Flags)
        m_Values.*flag.field = flag.box->isChecked() ? 1 : 0;
}

void CSettingsDlg::OnBrowse()
{
    const QUrl chosen = m_Chooser(this, CDisplayText::Of(Text::BrowseTitle));
    if (chosen.isEmpty())
        return;
    // The sessions serve local folders only; anything else would be stored as
    // a root no session could open.
    const QString path = chosen.isLocalFile() ? chosen.toLocalFile() : QString();
    if (path.isEmpty()) {
        ShowBrowseFailure();
        return;
    }
    // Only the path box takes the choice; box changes made before browsing stay.
    m_pHomeDirectory->setText(path);
}

void CSettingsDlg::ShowBrowseFailure()
{
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    CDisplayText::Of(Text::BrowseFailed), QMessageBox::Ok, this);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}
