#include <thread>
#include <vector>

#include <QTest>

#include "server/server_settings.h"
#include "server/session_hub.h"

// The road of the sessions' notifications to the main thread under a flood.
class TestSessionHub : public QObject {
    Q_OBJECT
private slots:
    void floodArrivesCompleteAndInOrder();
    void floodLeavesRoomForTheWindowsOwnEvents();
};

namespace {

std::shared_ptr<CSessionHub> MakeHub()
{
    return std::make_shared<CSessionHub>(std::make_shared<CServerSettings>());
}

} // namespace

void TestSessionHub::floodArrivesCompleteAndInOrder()
{
    constexpr int kPerThread = 2 * static_cast<int>(CSessionHub::kMaxDeliveredPerTurn) + 7;
    auto hub = MakeHub();
    QObject context;
    std::vector<int> next(2, 0);
    int delivered = 0;
    bool bInOrder = true;
    hub->SetReceiver(&context, [&](const CSessionHub::Notification& notification) {
        int& expected = next[notification.threadId];
        bInOrder = bInOrder && notification.text.toInt() == expected;
        ++expected;
        ++delivered;
    });
    std::vector<std::thread> sessions;
    for (quint32 id = 0; id < 2; ++id)
        sessions.emplace_back([&hub, id] {
            for (int i = 0; i < kPerThread; ++i)
                hub->PostServerLog(QByteArray::number(i), id);
        });
    for (std::thread& session : sessions)
        session.join();
    QTRY_COMPARE_WITH_TIMEOUT(delivered, 2 * kPerThread, 5000);
    QVERIFY(bInOrder);
}

void TestSessionHub::floodLeavesRoomForTheWindowsOwnEvents()
{
    const int turn = static_cast<int>(CSessionHub::kMaxDeliveredPerTurn);
    auto hub = MakeHub();
    QObject context;
    int delivered = 0;
    hub->SetReceiver(&context, [&](const CSessionHub::Notification&) { ++delivered; });
    for (int i = 0; i < 3 * turn; ++i)
        hub->PostServerLog("x", 1);
    // Posted after the flood, handled after its first turn only.
    int deliveredBeforeOwnEvent = -1;
    QMetaObject::invokeMethod(&context, [&] { deliveredBeforeOwnEvent = delivered; }, Qt::QueuedConnection);
    QTRY_COMPARE_WITH_TIMEOUT(delivered, 3 * turn, 5000);
    QCOMPARE(deliveredBeforeOwnEvent, turn);
}

QTEST_MAIN(TestSessionHub)
#include "tst_session_hub.moc"
