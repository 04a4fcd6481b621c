#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "ui/system_tray.h"

namespace {

QAction* Entry(const CSystemTray& tray, const QString& text)
{
    for (QAction* action : tray.Menu()->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

class TestSystemTray : public QObject {
    Q_OBJECT
private slots:
    void withoutNotificationAreaCreationFails();
    void menuHoldsThreeEntriesBetweenSeparators();
    void menuEntriesEmitTheirCommands_data();
    void menuEntriesEmitTheirCommands();
    void doubleClickBringsBackHiddenWindow();
    void singleClickLeavesWindowHidden();
    void openWindowEntryShowsWindow();
};

void TestSystemTray::withoutNotificationAreaCreationFails()
{
    // The offscreen platform has no notification area.
    CSystemTray tray;
    QCOMPARE(tray.CreateTrayIcon(QStringLiteral("Tessel FTP Server"), QIcon()),
             QSystemTrayIcon::isSystemTrayAvailable());
}

void TestSystemTray::menuHoldsThreeEntriesBetweenSeparators()
{
    CSystemTray tray;
    const QList<QAction*> actions = tray.Menu()->actions();
    QCOMPARE(actions.size(), 5);
    QCOMPARE(actions[0]->text(), QStringLiteral("關於..."));
    QVERIFY(actions[1]->isSeparator());
    QCOMPARE(actions[2]->text(), QStringLiteral("開啟視窗"));
    QVERIFY(actions[3]->isSeparator());
    QCOMPARE(actions[4]->text(), QStringLiteral("結束"));
    QCOMPARE(tray.Icon()->contextMenu(), tray.Menu());
}

void TestSystemTray::menuEntriesEmitTheirCommands_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("about");
    QTest::addColumn<int>("open");
    QTest::addColumn<int>("exit");
    QTest::newRow("about") << QStringLiteral("關於...") << 1 << 0 << 0;
    QTest::newRow("open window") << QStringLiteral("開啟視窗") << 0 << 1 << 0;
    QTest::newRow("exit") << QStringLiteral("結束") << 0 << 0 << 1;
}

void TestSystemTray::menuEntriesEmitTheirCommands()
{
    QFETCH(QString, entry);
    QFETCH(int, about);
    QFETCH(int, open);
    QFETCH(int, exit);
    CSystemTray tray;
    QSignalSpy aboutSpy(&tray, &CSystemTray::About);
    QSignalSpy openSpy(&tray, &CSystemTray::OpenWindow);
    QSignalSpy exitSpy(&tray, &CSystemTray::Exit);
    Entry(tray, entry)->trigger();
    QCOMPARE(aboutSpy.count(), about);
    QCOMPARE(openSpy.count(), open);
    QCOMPARE(exitSpy.count(), exit);
}

void TestSystemTray::doubleClickBringsBackHiddenWindow()
{
    QWidget window;
    window.setGeometry(40, 50, 200, 120);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.hide();
    CSystemTray tray;
    tray.SetMainWindow(&window);
    emit tray.Icon()->activated(QSystemTrayIcon::DoubleClick);
    QTRY_VERIFY(window.isVisible());
    QCOMPARE(window.size(), QSize(200, 120));
}

void TestSystemTray::singleClickLeavesWindowHidden()
{
    QWidget window;
    CSystemTray tray;
    tray.SetMainWindow(&window);
    tray.OnIconEvent(QSystemTrayIcon::Trigger);
    tray.OnIconEvent(QSystemTrayIcon::Context);
    tray.OnIconEvent(QSystemTrayIcon::MiddleClick);
    QVERIFY(window.isHidden());
}

void TestSystemTray::openWindowEntryShowsWindow()
{
    QWidget window;
    CSystemTray tray;
    tray.SetMainWindow(&window);
    Entry(tray, QStringLiteral("開啟視窗"))->trigger();
    QVERIFY(window.isVisible());
    // Without a window the entry still reaches the application.
    CSystemTray lone;
    QSignalSpy openSpy(&lone, &CSystemTray::OpenWindow);
    Entry(lone, QStringLiteral("開啟視窗"))->trigger();
    QCOMPARE(openSpy.count(), 1);
}

QTEST_MAIN(TestSystemTray)
#include "tst_system_tray.moc"
