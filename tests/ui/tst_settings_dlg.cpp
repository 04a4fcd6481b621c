#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/text_table.h"
#include "ui/settings_dlg.h"

namespace {

// The seven values as the opener holds them.
struct Values {
    QString home;
    int createDir;
    int deleteFiles;
    int download;
    int rename;
    int upload;
    int autoStart;
    bool operator==(const Values&) const = default;
};

void Fill(CSettingsDlg& dialog, const Values& v)
{
    dialog.HomeDirectory = v.home;
    dialog.AllowCreateDir = v.createDir;
    dialog.AllowDelete = v.deleteFiles;
    dialog.AllowDownload = v.download;
    dialog.AllowRename = v.rename;
    dialog.AllowUpload = v.upload;
    dialog.AutoStart = v.autoStart;
}

Values Read(const CSettingsDlg& dialog)
{
    return {dialog.HomeDirectory, dialog.AllowCreateDir, dialog.AllowDelete, dialog.AllowDownload,
            dialog.AllowRename, dialog.AllowUpload, dialog.AutoStart};
}

template <typename Widget>
Widget* Find(const QWidget& dialog, Text text)
{
    const QString wanted = CTextTable::Display(text);
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

const Values kOpened = {QStringLiteral("/srv/分享"), 1, 0, 1, 0, 1, 1};

} // namespace

class TestSettingsDlg : public QObject {
    Q_OBJECT
private slots:
    void fieldsReachControlsWhenShown();
    void cancelChangesNothing();
    void okCopiesAllSeven();
    void okWithoutChangesKeepsValues();
    void pathIsStoredAsTyped_data();
    void pathIsStoredAsTyped();
    void browseWithoutAFolderKeepsTypedText_data();
    void browseWithoutAFolderKeepsTypedText();
    void enterPressesTheFocusedButtonOnly();
    void browseReplacesOnlyThePath();
    void modalRunEndsWithOk();
};

void TestSettingsDlg::fieldsReachControlsWhenShown()
{
    CSettingsDlg dialog;
    Fill(dialog, {QStringLiteral("/data"), 0, 2, 1, 0, 0, 1});
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
    CSettingsDlg dialog;
    dialog.SetFolderChooser([](QWidget*, const QString&) { return QUrl::fromLocalFile(QStringLiteral("/elsewhere")); });
    Fill(dialog, kOpened);
    dialog.show();
    for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
        box->toggle();
    Browse(dialog);
    QCOMPARE(PathEdit(dialog)->text(), QStringLiteral("/elsewhere"));
    dialog.reject();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(Read(dialog), kOpened);
}

void TestSettingsDlg::okCopiesAllSeven()
{
    CSettingsDlg dialog;
    Fill(dialog, kOpened);
    dialog.show();
    for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
        box->toggle();
    PathEdit(dialog)->setText(QStringLiteral("/home/ftp"));
    dialog.accept();
    const Values expected = {QStringLiteral("/home/ftp"), 0, 1, 0, 1, 0, 0};
    QCOMPARE(Read(dialog), expected);
}

void TestSettingsDlg::okWithoutChangesKeepsValues()
{
    CSettingsDlg dialog;
    Fill(dialog, kOpened);
    dialog.show();
    dialog.accept();
    QCOMPARE(Read(dialog), kOpened);
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
    CSettingsDlg dialog;
    Fill(dialog, kOpened);
    dialog.show();
    PathEdit(dialog)->setText(typed);
    dialog.accept();
    QCOMPARE(dialog.HomeDirectory, typed);
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
    CSettingsDlg dialog;
    int calls = 0;
    dialog.SetFolderChooser([&](QWidget*, const QString&) {
        ++calls;
        return chosen;
    });
    Fill(dialog, kOpened);
    dialog.show();
    PathEdit(dialog)->setText(QStringLiteral("/typed/by hand"));
    const QStringList boxes = MessageBoxesDuring([&] { Browse(dialog); });
    QCOMPARE(calls, 1);
    QCOMPARE(boxes, failureShown ? QStringList{QStringLiteral("Failed to get directory")} : QStringList());
    QCOMPARE(PathEdit(dialog)->text(), QStringLiteral("/typed/by hand"));
}

void TestSettingsDlg::enterPressesTheFocusedButtonOnly()
{
    CSettingsDlg dialog;
    int calls = 0;
    dialog.SetFolderChooser([&](QWidget*, const QString&) {
        ++calls;
        return QUrl();
    });
    Fill(dialog, kOpened);
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
    CSettingsDlg dialog;
    QWidget* owner = nullptr;
    QString title;
    const QString chosen = QStringLiteral("/srv/新資料夾/");
    dialog.SetFolderChooser([&](QWidget* parent, const QString& caption) {
        owner = parent;
        title = caption;
        return QUrl::fromLocalFile(chosen);
    });
    Fill(dialog, kOpened);
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
    QCOMPARE(dialog.HomeDirectory, chosen);
    QCOMPARE(dialog.AllowDownload, 0);
    QCOMPARE(dialog.AllowRename, 1);
}

void TestSettingsDlg::modalRunEndsWithOk()
{
    CSettingsDlg dialog;
    Fill(dialog, kOpened);
    QTimer::singleShot(0, &dialog, [&] {
        Box(dialog, Text::SettingsAutoStart)->setChecked(false);
        QTest::mouseClick(Find<QPushButton>(dialog, Text::ButtonOk), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.AutoStart, 0);
    QCOMPARE(dialog.HomeDirectory, kOpened.home);
}

QTEST_MAIN(TestSettingsDlg)
#include "tst_settings_dlg.moc"
