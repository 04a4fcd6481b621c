#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/text_table.h"
#include "ui/display_text.h"
#include "ui/settings_dlg.h"
#include "ui/toolkit_translation.h"

namespace {

template <typename Widget>
Widget* Find(const QWidget& dialog, Text text)
{
    const QString wanted = CDisplayText::Of(text);
    for (Widget* widget : dialog.findChildren<Widget*>())
        if (widget->text() == wanted)
            return widget;
    return nullptr;
}

QCheckBox* Box(const QWidget& dialog, Text text)
{
    return Find<QCheckBox>(dialog, text);
}

QLineEdit* PathEdit(const QWidget& dialog)
{
    return dialog.findChild<QLineEdit*>();
}

void Browse(const QWidget& dialog)
{
    QTest::mouseClick(Find<QPushButton>(dialog, Text::SettingsBrowse), Qt::LeftButton);
}

// The texts of the message boxes that come up while the action runs; each is
// answered with OK as soon as it shows.
QStringList MessageBoxesDuring(const std::function<void()>& action)
{
    QStringList texts;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (box->icon() == QMessageBox::Critical)
                texts << box->text();
            box->accept();
        }
    });
    poll.start(10);
    action();
    return texts;
}

const SettingsValues kOpened = {.HomeDirectory = "/srv/分享",
                                .AllowCreateDir = 1,
                                .AllowDelete = 0,
                                .AllowDownload = 1,
                                .AllowRename = 0,
                                .AllowUpload = 1,
                                .AutoStart = 1};

} // namespace

class TestSettingsDlg : public QObject {
    Q_OBJECT
private slots:
    void valuesReachControls();
    void cancelChangesNothing();
    void okCopiesEverySetting();
    void okWithoutChangesKeepsValues();
    void pathIsStoredAsTyped_data();
    void pathIsStoredAsTyped();
    void browseWithoutAFolderKeepsTypedText_data();
    void browseWithoutAFolderKeepsTypedText();
    void enterPressesTheFocusedButtonOnly();
    void browseReplacesOnlyThePath();
    void modalRunEndsWithOk();
    void folderChooserSpeaksChinese();
};

void TestSettingsDlg::valuesReachControls()
{
    CSettingsDlg dialog({.HomeDirectory = "/data", .AllowCreateDir = 0, .AllowDelete = 2,
                         .AllowDownload = 1, .AllowRename = 0, .AllowUpload = 0, .AutoStart = 1});
    dialog.show();
    QCOMPARE(PathEdit(dialog)->text(), QStringLiteral("/data"));
    QVERIFY(!Box(dialog, Text::SettingsCreateDir)->isChecked());
    // A right stored as 2 by hand is granted, so the box shows it granted.
    QVERIFY(Box(dialog, Text::SettingsDelete)->isChecked());
    QVERIFY(Box(dialog, Text::SettingsDownload)->isChecked());
    QVERIFY(!Box(dialog, Text::SettingsRename)->isChecked());
    QVERIFY(!Box(dialog, Text::SettingsUpload)->isChecked());
    QVERIFY(Box(dialog, Text::SettingsAutoStart)->isChecked());
}

void TestSettingsDlg::cancelChangesNothing()
{
    CSettingsDlg dialog(kOpened);
    dialog.SetFolderChooser([](QWidget*, const QString&) { return QUrl::fromLocalFile(QStringLiteral("/elsewhere")); });
    dialog.show();
    for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
        box->toggle();
    Browse(dialog);
    QCOMPARE(PathEdit(dialog)->text(), QStringLiteral("/elsewhere"));
    dialog.reject();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.Values(), kOpened);
}

void TestSettingsDlg::okCopiesEverySetting()
{
    CSettingsDlg dialog(kOpened);
    dialog.show();
    for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
        box->toggle();
    PathEdit(dialog)->setText(QStringLiteral("/home/ftp"));
    dialog.accept();
    // Every setting has its control: each flag comes back turned over.
    SettingsValues expected = kOpened;
    expected.HomeDirectory = "/home/ftp";
    for (const SettingRow& row : kSettingRows) {
        if (row.flag != nullptr)
            expected.*row.flag = expected.*row.flag != 0 ? 0 : 1;
    }
    QCOMPARE(dialog.Values(), expected);
}

void TestSettingsDlg::okWithoutChangesKeepsValues()
{
    CSettingsDlg dialog(kOpened);
    dialog.show();
    dialog.accept();
    QCOMPARE(dialog.Values(), kOpened);
}

void TestSettingsDlg::pathIsStoredAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << QString();
    QTest::newRow("missing folder") << QStringLiteral("/no/such/folder/分享");
    QTest::newRow("relative") << QStringLiteral("ftp/root");
    QTest::newRow("trailing separator") << QStringLiteral("/srv/");
    QTest::newRow("surrounding blanks") << QStringLiteral("  /srv  ");
}

void TestSettingsDlg::pathIsStoredAsTyped()
{
    QFETCH(QString, typed);
    CSettingsDlg dialog(kOpened);
    dialog.show();
    PathEdit(dialog)->setText(typed);
    dialog.accept();
    QCOMPARE(QString::fromStdString(dialog.Values().HomeDirectory), typed);
    // Nothing is created on the user's behalf.
    QVERIFY(!QDir(QStringLiteral("/no/such/folder/分享")).exists());
}

void TestSettingsDlg::browseWithoutAFolderKeepsTypedText_data()
{
    QTest::addColumn<QUrl>("chosen");
    QTest::addColumn<bool>("failureShown");
    QTest::newRow("cancelled") << QUrl() << false;
    QTest::newRow("remote place") << QUrl(QStringLiteral("sftp://host/srv/ftp")) << true;
    QTest::newRow("file URL without a path") << QUrl(QStringLiteral("file:")) << true;
}

void TestSettingsDlg::browseWithoutAFolderKeepsTypedText()
{
    QFETCH(QUrl, chosen);
    QFETCH(bool, failureShown);
    CSettingsDlg dialog(kOpened);
    int calls = 0;
    dialog.SetFolderChooser([&](QWidget*, const QString&) {
        ++calls;
        return chosen;
    });
    dialog.show();
    PathEdit(dialog)->setText(QStringLiteral("/typed/by hand"));
    const QStringList boxes = MessageBoxesDuring([&] { Browse(dialog); });
    QCOMPARE(calls, 1);
    QCOMPARE(boxes, failureShown ? QStringList{QStringLiteral("Failed to get directory")} : QStringList());
    QCOMPARE(PathEdit(dialog)->text(), QStringLiteral("/typed/by hand"));
}

void TestSettingsDlg::enterPressesTheFocusedButtonOnly()
{
    CSettingsDlg dialog(kOpened);
    int calls = 0;
    dialog.SetFolderChooser([&](QWidget*, const QString&) {
        ++calls;
        return QUrl();
    });
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Find<QPushButton>(dialog, Text::SettingsBrowse)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(calls, 1);
    QVERIFY(dialog.isVisible());
    // With the focus on a box, Enter means OK.
    Box(dialog, Text::SettingsUpload)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(calls, 1);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestSettingsDlg::browseReplacesOnlyThePath()
{
    CSettingsDlg dialog(kOpened);
    QWidget* owner = nullptr;
    QString title;
    const QString chosen = QStringLiteral("/srv/新資料夾/");
    dialog.SetFolderChooser([&](QWidget* parent, const QString& caption) {
        owner = parent;
        title = caption;
        return QUrl::fromLocalFile(chosen);
    });
    dialog.show();
    Box(dialog, Text::SettingsDownload)->setChecked(false);
    Box(dialog, Text::SettingsRename)->setChecked(true);
    Browse(dialog);
    QCOMPARE(owner, &dialog);
    QCOMPARE(title, QStringLiteral("請選擇目錄："));
    QCOMPARE(PathEdit(dialog)->text(), chosen);
    QVERIFY(!Box(dialog, Text::SettingsDownload)->isChecked());
    QVERIFY(Box(dialog, Text::SettingsRename)->isChecked());
    dialog.accept();
    QCOMPARE(QString::fromStdString(dialog.Values().HomeDirectory), chosen);
    QCOMPARE(dialog.Values().AllowDownload, 0);
    QCOMPARE(dialog.Values().AllowRename, 1);
}

void TestSettingsDlg::modalRunEndsWithOk()
{
    CSettingsDlg dialog(kOpened);
    QTimer::singleShot(0, &dialog, [&] {
        Box(dialog, Text::SettingsAutoStart)->setChecked(false);
        QTest::mouseClick(Find<QPushButton>(dialog, Text::ButtonOk), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.Values().AutoStart, 0);
    QCOMPARE(dialog.Values().HomeDirectory, kOpened.HomeDirectory);
}

// The chooser the dialog opens by itself, with Qt's catalogue installed as the
// program installs it at start: the toolkit's buttons read in Traditional
// Chinese (選擇 is not the Simplified 选择), and Cancel leaves the path alone.
void TestSettingsDlg::folderChooserSpeaksChinese()
{
    QVERIFY(CToolkitTranslation::Install());
    CSettingsDlg dialog(kOpened);
    dialog.show();
    QString title;
    QStringList buttons;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (chooser == nullptr)
            return;
        poll.stop();
        title = chooser->windowTitle();
        const auto* box = chooser->findChild<QDialogButtonBox*>();
        buttons = QStringList{box->button(QDialogButtonBox::Open)->text(), box->button(QDialogButtonBox::Cancel)->text()};
        QTest::mouseClick(box->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    poll.start(10);
    Browse(dialog);
    QCOMPARE(title, QStringLiteral("請選擇目錄："));
    QCOMPARE(buttons, (QStringList{QStringLiteral("選擇(&C)"), QStringLiteral("取消")}));
    QCOMPARE(PathEdit(dialog)->text(), QString::fromStdString(kOpened.HomeDirectory));
}

QTEST_MAIN(TestSettingsDlg)
#include "tst_settings_dlg.moc"
