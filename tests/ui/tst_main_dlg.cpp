#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ftp_test_client.h"
#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "platform/thread.h"
#include "server/server_settings.h"
#include "ui/display_text.h"
#include "ui/image_button.h"
#include "ui/log_model.h"
#include "ui/log_view.h"
#include "ui/main_dlg.h"
#include "ui/settings_dlg.h"
#include "ui/settings_store.h"

namespace {

QString Shown(Text text)
{
    return CDisplayText::Of(text);
}

QString Formatted(TextTemplate<int> text, int value)
{
    return CDisplayText::FromBig5(CTextTable::Format(text, value));
}

// Answers the next modal dialog of type Dialog once it is up; bounded.
template <typename Dialog>
void AnswerNextDialog(const std::function<void(Dialog&)>& answer)
{
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, answer] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            answer(*dialog);
            poll->deleteLater();
        } else if (++*tries > 200) {
            poll->deleteLater();
        }
    });
    poll->start(10);
}

} // namespace

class TestMainDlg : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsStoppedWithTemplateTexts();
    void startAndStopSwitchButtonsAndStatus();
    void captionCountsConnectsAndDisconnects();
    void autoStartPostsStartOnce_data();
    void autoStartPostsStartOnce();
    void enterAndEscapeDoNothing_data();
    void enterAndEscapeDoNothing();
    void closingStopsServerAndWritesAllSettings();
    void sessionTextShowsLiterally_data();
    void sessionTextShowsLiterally();
    void columnsFitHeadersWhenEmpty();
    void pictureSitsBehindTheListOnce();
    void burstOfRowsIsOneInsertionAndNeverScrolls();
    void rowsKeepTheirBytesAcrossStorageBlocks();
    void settingsDialogChangesValuesOnOkOnly_data();
    void settingsDialogChangesValuesOnOkOnly();
    void iconifyHidesOnlyWithTray_data();
    void iconifyHidesOnlyWithTray();
    void hidingToTrayDoesNotEndTheRun();

private:
    void WriteSettings(const SettingsValues& values);
    QString SettingsFileText() const;
    std::unique_ptr<CMainDlg> OpenWindow();

    QTemporaryDir m_ConfigDir;
    std::unique_ptr<CMainDlg> m_pDlg;
};

void TestMainDlg::initTestCase()
{
    QVERIFY(m_ConfigDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_ConfigDir.path());
}

void TestMainDlg::init()
{
    QFile::remove(CSettingsStore::FilePath());
    SettingsValues values;
    values.AutoStart = 0;
    WriteSettings(values);
}

void TestMainDlg::cleanup()
{
    if (m_pDlg)
        m_pDlg->StopServer();
    m_pDlg.reset();
}

void TestMainDlg::WriteSettings(const SettingsValues& values)
{
    CSettingsStore::Save(values);
}

QString TestMainDlg::SettingsFileText() const
{
    QFile file(CSettingsStore::FilePath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

std::unique_ptr<CMainDlg> TestMainDlg::OpenWindow()
{
    auto dlg = std::make_unique<CMainDlg>(nullptr, 0, "127.0.0.1");
    dlg->show();
    if (!QTest::qWaitForWindowExposed(dlg.get()))
        return nullptr;
    return dlg;
}

void TestMainDlg::startsStoppedWithTemplateTexts()
{
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    QCOMPARE(m_pDlg->windowTitle(), QStringLiteral("Tessel FTP Server [連線數：0]"));
    QCOMPARE(m_pDlg->StartButton()->text(), QStringLiteral("啟    動"));
    QCOMPARE(m_pDlg->StopButton()->text(), QStringLiteral("停    止"));
    QCOMPARE(m_pDlg->SettingsButton()->text(), QStringLiteral("設    定"));
    QCOMPARE(m_pDlg->AddressButton()->text(), QStringLiteral("IP 位 址"));
    QCOMPARE(m_pDlg->AboutButton()->text(), QStringLiteral("關    於"));
    QCOMPARE(m_pDlg->StatusText(), QStringLiteral("Tessel FTP Server 離線"));
    QVERIFY(m_pDlg->TimePaneText().isEmpty());
    QCOMPARE(m_pDlg->LogModel()->rowCount(), 0);
    // The window keeps its arrangement: no resizing, no maximise box.
    QCOMPARE(m_pDlg->minimumSize(), m_pDlg->maximumSize());
    QVERIFY(!(m_pDlg->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(m_pDlg->windowFlags() & Qt::WindowMinimizeButtonHint);
    // Buttons in one row, the log below them, the status bar below the log.
    QCOMPARE(m_pDlg->StartButton()->y(), 0);
    QCOMPARE(m_pDlg->AboutButton()->y(), 0);
    QVERIFY(m_pDlg->AboutButton()->x() > m_pDlg->StartButton()->x());
    QVERIFY(m_pDlg->LogView()->y() >= m_pDlg->StartButton()->height());
    QVERIFY(m_pDlg->LogView()->geometry().bottom() < m_pDlg->height() - 20);
}

void TestMainDlg::startAndStopSwitchButtonsAndStatus()
{
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    QVERIFY(m_pDlg->StartButton()->isEnabled());
    QVERIFY(!m_pDlg->StopButton()->isEnabled());

    QTest::mouseClick(m_pDlg->StartButton(), Qt::LeftButton);
    QVERIFY(m_pDlg->Control().IsRunning());
    QVERIFY(!m_pDlg->StartButton()->isEnabled());
    QVERIFY(m_pDlg->StopButton()->isEnabled());
    QCOMPARE(m_pDlg->StatusText(), QStringLiteral("Tessel FTP Server 連線"));

    QTest::mouseClick(m_pDlg->StopButton(), Qt::LeftButton);
    QVERIFY(!m_pDlg->Control().IsRunning());
    QVERIFY(m_pDlg->StartButton()->isEnabled());
    QVERIFY(!m_pDlg->StopButton()->isEnabled());
    QCOMPARE(m_pDlg->StatusText(), QStringLiteral("Tessel FTP Server 離線"));
    QVERIFY(m_pDlg->TimePaneText().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_pDlg->LogModel()->rowCount(), 2, 2000);
    QCOMPARE(m_pDlg->LogModel()->index(1, CLogModel::ColumnMessage).data().toString(), Shown(Text::LogServerStopped));
}

void TestMainDlg::captionCountsConnectsAndDisconnects()
{
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    m_pDlg->StartServer();
    auto first = CFtpTestClient::Greeted(m_pDlg->Control().ListeningPort());
    auto second = CFtpTestClient::Greeted(m_pDlg->Control().ListeningPort());
    QVERIFY(first && second);
    QTRY_COMPARE_WITH_TIMEOUT(m_pDlg->windowTitle(), QStringLiteral("Tessel FTP Server [連線數： 2 ]"), 2000);
    first->Close();
    QTRY_COMPARE_WITH_TIMEOUT(m_pDlg->windowTitle(), QStringLiteral("Tessel FTP Server [連線數：1 ]"), 2000);
    second->Close();
    QTRY_COMPARE_WITH_TIMEOUT(m_pDlg->windowTitle(), QStringLiteral("Tessel FTP Server [連線數：0 ]"), 2000);
}

void TestMainDlg::autoStartPostsStartOnce_data()
{
    QTest::addColumn<int>("autoStart");
    QTest::addColumn<bool>("running");
    QTest::newRow("absent means on") << -1 << true;
    QTest::newRow("on") << 1 << true;
    QTest::newRow("any non-zero is on") << 5 << true;
    QTest::newRow("off") << 0 << false;
}

void TestMainDlg::autoStartPostsStartOnce()
{
    QFETCH(int, autoStart);
    QFETCH(bool, running);
    if (autoStart < 0) {
        QFile::remove(CSettingsStore::FilePath());
    } else {
        SettingsValues values;
        values.AutoStart = autoStart;
        WriteSettings(values);
    }
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    if (running) {
        QTRY_COMPARE_WITH_TIMEOUT(m_pDlg->LogModel()->rowCount(), 1, 2000);
        CLogModel* model = m_pDlg->LogModel();
        QCOMPARE(model->index(0, CLogModel::ColumnMessage).data().toString(), Formatted(Text::LogServerStarted, 21));
        QCOMPARE(model->index(0, CLogModel::ColumnThread).data().toString(),
                 QString::number(CThread::CurrentThreadId()));
        QVERIFY(!m_pDlg->StartButton()->isEnabled());
    }
    // Showing the window again starts nothing a second time.
    m_pDlg->hide();
    m_pDlg->show();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    m_pDlg->LogModel()->FlushAll();
    QCOMPARE(m_pDlg->Control().IsRunning(), running);
    QCOMPARE(m_pDlg->LogModel()->rowCount(), running ? 1 : 0);
}

void TestMainDlg::enterAndEscapeDoNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("escape") << int(Qt::Key_Escape);
    QTest::newRow("return") << int(Qt::Key_Return);
    QTest::newRow("enter") << int(Qt::Key_Enter);
}

void TestMainDlg::enterAndEscapeDoNothing()
{
    QFETCH(int, key);
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    QSignalSpy finished(m_pDlg.get(), &QDialog::finished);
    QTest::keyClick(m_pDlg.get(), Qt::Key(key));
    // Also with the keyboard focus on a button.
    m_pDlg->StartButton()->setFocus();
    QTest::keyClick(m_pDlg->StartButton(), Qt::Key(key));
    QCoreApplication::processEvents();
    QVERIFY(m_pDlg->isVisible());
    QCOMPARE(finished.count(), 0);
    QVERIFY(!m_pDlg->Control().IsRunning());
}

void TestMainDlg::closingStopsServerAndWritesAllSettings()
{
    // Only two values stored, one of them out of the dialog's range: all
    // seven come back, the odd one unchanged.
    QFile::remove(CSettingsStore::FilePath());
    {
        QSettings store(CSettingsStore::FilePath(), QSettings::IniFormat);
        store.setValue("TesselFTPSettings/AllowUpload", 2);
        store.setValue("TesselFTPSettings/AutoStart", 0);
    }
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    m_pDlg->StartServer();
    auto client = CFtpTestClient::Greeted(m_pDlg->Control().ListeningPort());
    QVERIFY(client);
    QTRY_COMPARE_WITH_TIMEOUT(m_pDlg->Control().Connections(), 1, 2000);
    QSignalSpy finished(m_pDlg.get(), &QDialog::finished);

    QVERIFY(m_pDlg->close());
    QCOMPARE(finished.count(), 1);
    QVERIFY(!m_pDlg->isVisible());
    QVERIFY(!m_pDlg->Control().IsRunning());
    m_pDlg->LogModel()->FlushAll();
    QStringList messages;
    for (int row = 0; row < m_pDlg->LogModel()->rowCount(); ++row)
        messages << m_pDlg->LogModel()->index(row, CLogModel::ColumnMessage).data().toString();
    const auto closing = messages.indexOf(Shown(Text::LogClosingThread));
    QVERIFY(closing > 0);
    QVERIFY(messages.indexOf(Shown(Text::LogThreadClosed)) > closing);
    QCOMPARE(messages.last(), Shown(Text::LogServerStopped));

    const QString text = SettingsFileText();
    for (const char* line : {"HomeDirectory=", "AllowCreateDir=0", "AllowDelete=0", "AllowDownload=1", "AllowRename=0",
                             "AllowUpload=2", "AutoStart=0"})
        QVERIFY2(text.contains(QString::fromLatin1(line)), line);
}

void TestMainDlg::sessionTextShowsLiterally_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("lone percent") << QByteArray("100% done");
    QTest::newRow("conversions") << QByteArray("RETR %d%s%n%%.txt");
    QTest::newRow("big5 with backslash trail byte") << QByteArray::fromStdString(CBig5Text::FromUtf8("CWD /功課/%s"));
}

void TestMainDlg::sessionTextShowsLiterally()
{
    QFETCH(QByteArray, text);
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    m_pDlg->Control().Hub().PostServerLog(text.toStdString(), 4242);
    QTRY_COMPARE_WITH_TIMEOUT(m_pDlg->LogModel()->rowCount(), 1, 2000);
    QCOMPARE(m_pDlg->LogModel()->index(0, CLogModel::ColumnThread).data().toString(), QStringLiteral("4242"));
    QCOMPARE(m_pDlg->LogModel()->index(0, CLogModel::ColumnMessage).data().toString(),
             CDisplayText::FromBig5(text.toStdString()));
    QCOMPARE(m_pDlg->LogModel()->Message(0), text);
}

void TestMainDlg::columnsFitHeadersWhenEmpty()
{
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    CLogView* view = m_pDlg->LogView();
    const QFontMetrics metrics(view->horizontalHeader()->font());
    QVERIFY(view->columnWidth(CLogModel::ColumnThread) > metrics.horizontalAdvance(Shown(Text::ColumnThread)));
    QVERIFY(view->columnWidth(CLogModel::ColumnMessage) > metrics.horizontalAdvance(Shown(Text::ColumnMessage)));
    QCOMPARE(view->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("執行緒 ID"));
    QCOMPARE(view->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("訊息"));
    // The two columns reach across the list, but for the scroll bar's room.
    QVERIFY(view->columnWidth(0) + view->columnWidth(1)
            >= view->viewport()->width() - view->verticalScrollBar()->sizeHint().width());
}

void TestMainDlg::pictureSitsBehindTheListOnce()
{
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    CLogView* view = m_pDlg->LogView();
    QVERIFY(!view->BackgroundPicture().isNull());
    // The picture as it looks over the list's background.
    const QRgb base = view->palette().color(QPalette::Base).rgb();
    QImage picture(view->BackgroundPicture().size(), QImage::Format_RGB32);
    picture.fill(base);
    QPainter(&picture).drawPixmap(0, 0, view->BackgroundPicture());
    const QRect area = view->PictureRect();
    const QSize free = view->viewport()->size() - picture.size();
    QCOMPARE(area.left(), free.width() / 2);
    QCOMPARE(area.top(), static_cast<int>(free.height() * 0.45));

    const QImage shown = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.copy(area), picture);
    // Drawn once, not tiled: the corners show the list's own background.
    QCOMPARE(shown.pixel(0, 0), base);
    QCOMPARE(shown.pixel(shown.width() - 1, shown.height() - 1), base);
}

// Messages lie end to end in blocks: rows on both sides of every block's
// end, empty rows, a message as long as a whole block and one longer, all
// come back byte for byte, queued and shown alike.
void TestMainDlg::rowsKeepTheirBytesAcrossStorageBlocks()
{
    CLogModel model;
    QList<QByteArray> messages;
    const QByteArray big5 = QByteArray::fromStdString(CBig5Text::FromUtf8("許功蓋"));
    for (int i = 0; i < 1200; ++i)
        messages << QByteArray(i * 37 % 5000, static_cast<char>('a' + i % 26)) + big5 + QByteArray::number(i);
    messages.insert(300, QByteArray());
    messages.insert(301, QByteArray());
    messages.insert(500, QByteArray(CLogModel::kBlockBytes, 'x'));
    messages.insert(800, QByteArray(CLogModel::kBlockBytes + 1, 'y'));
    for (int i = 0; i < messages.size(); ++i) {
        model.Append(static_cast<quint32>(i), messages[i].toStdString());
        QCOMPARE(model.Message(i), messages[i]);
    }
    model.FlushAll();
    QCOMPARE(model.rowCount(), messages.size());
    for (int i = 0; i < messages.size(); ++i) {
        QCOMPARE(model.Message(i), messages[i]);
        QCOMPARE(model.index(i, CLogModel::ColumnThread).data().toString(), QString::number(i));
    }
    QCOMPARE(model.index(1201, CLogModel::ColumnMessage).data().toString(), CDisplayText::FromBig5(messages[1201].toStdString()));
}

void TestMainDlg::burstOfRowsIsOneInsertionAndNeverScrolls()
{
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    CLogModel* model = m_pDlg->LogModel();
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 500; ++i)
        m_pDlg->Control().Hub().PostServerLog(std::to_string(i), 7);
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 500, 2000);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(model->index(499, CLogModel::ColumnMessage).data().toString(), QStringLiteral("499"));

    QScrollBar* bar = m_pDlg->LogView()->verticalScrollBar();
    // The view lays the new rows out a moment later.
    QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 0, 2000);
    QCOMPARE(bar->value(), 0);
    const int widths = m_pDlg->LogView()->columnWidth(0);
    for (int i = 0; i < 100; ++i)
        m_pDlg->Control().AddLogLine(8, Text::LogThreadClosed);
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 600, 2000);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(m_pDlg->LogView()->columnWidth(0), widths);
    // The vertical scroll bar that came with the rows leaves no need for a horizontal one.
    QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible(), 2000);
    QVERIFY(!m_pDlg->LogView()->horizontalScrollBar()->isVisible());
}

void TestMainDlg::settingsDialogChangesValuesOnOkOnly_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("ok") << true;
    QTest::newRow("cancel") << false;
}

void TestMainDlg::settingsDialogChangesValuesOnOkOnly()
{
    QFETCH(bool, ok);
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    const SettingsValues before = m_pDlg->Settings()->Values();
    bool bAnswered = false;
    AnswerNextDialog<CSettingsDlg>([&](CSettingsDlg& dialog) {
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
            box->toggle();
        bAnswered = true;
        ok ? dialog.accept() : dialog.reject();
    });
    QTest::mouseClick(m_pDlg->SettingsButton(), Qt::LeftButton);
    QVERIFY(bAnswered);
    const SettingsValues after = m_pDlg->Settings()->Values();
    if (!ok) {
        QCOMPARE(after, before);
        return;
    }
    QCOMPARE(after.AllowDownload, before.AllowDownload != 0 ? 0 : 1);
    QCOMPARE(after.AllowUpload, before.AllowUpload != 0 ? 0 : 1);
    QCOMPARE(after.AutoStart, before.AutoStart != 0 ? 0 : 1);
    QCOMPARE(after.HomeDirectory, before.HomeDirectory);
    // Sessions read the very record the dialog wrote.
    QCOMPARE(m_pDlg->Control().Hub().RightValue(Right::Upload), after.AllowUpload);
}

void TestMainDlg::iconifyHidesOnlyWithTray_data()
{
    QTest::addColumn<bool>("tray");
    QTest::newRow("with a tray") << true;
    QTest::newRow("without a tray") << false;
}

void TestMainDlg::iconifyHidesOnlyWithTray()
{
    QFETCH(bool, tray);
    m_pDlg = OpenWindow();
    QVERIFY(m_pDlg);
    m_pDlg->SetHideOnIconify(tray);
    m_pDlg->setWindowState(Qt::WindowMinimized);
    if (tray) {
        QTRY_VERIFY_WITH_TIMEOUT(m_pDlg->isHidden(), 2000);
        return;
    }
    QCoreApplication::processEvents();
    QVERIFY(m_pDlg->isMinimized());
    QVERIFY(!m_pDlg->isHidden());
}

void TestMainDlg::hidingToTrayDoesNotEndTheRun()
{
    m_pDlg = std::make_unique<CMainDlg>(nullptr, 0, "127.0.0.1");
    m_pDlg->SetHideOnIconify(true);
    bool bEndedByTest = false;
    QTimer poll;
    int tries = 0;
    connect(&poll, &QTimer::timeout, [&] {
        if (m_pDlg->isVisible() && !m_pDlg->isMinimized()) {
            m_pDlg->setWindowState(Qt::WindowMinimized);
        } else if (m_pDlg->isHidden()) {
            bEndedByTest = true;
            m_pDlg->EndRun();
        } else if (++tries > 200) {
            m_pDlg->EndRun();
        }
    });
    poll.start(10);
    m_pDlg->DoModal();
    QVERIFY(bEndedByTest);
}

QTEST_MAIN(TestMainDlg)
#include "tst_main_dlg.moc"
