// How fast the main window takes log rows, and how long its thread is kept
// from everything else meanwhile. Several threads post log texts through the
// hub, as sessions do, into a real main window (no server running); a 1 ms
// timer on the window's thread records the longest gap between its ticks.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/big5_text.h"
#include "server/server_settings.h"
#include "ui/log_model.h"
#include "ui/log_view.h"
#include "ui/main_dlg.h"
#include "ui/settings_store.h"

namespace {

constexpr int kRows = 1'000'000;
constexpr int kThreads = 4;
constexpr int kDeadlineMs = 120'000;

void Produce(CSessionHub& hub, quint32 threadId, int rows)
{
    const std::string prefix = CBig5Text::FromUtf8("150 開啟 BINARY 資料連線模式傳送檔案 #");
    for (int i = 0; i < rows; ++i)
        hub.PostServerLog(prefix + std::to_string(i), threadId);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    SettingsValues values;
    values.AutoStart = 0;
    CSettingsStore::Save(values);

    CMainDlg dlg(nullptr, 0, "127.0.0.1");
    dlg.show();
    CLogModel* model = dlg.LogModel();

    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestStall = 0;
    std::atomic<qint64> postedAt{0};
    bool bTimedOut = false;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
        if (model->rowCount() >= kRows)
            app.quit();
        if (now > kDeadlineMs) {
            bTimedOut = true;
            app.quit();
        }
    });

    std::vector<std::thread> producers;
    QTimer::singleShot(0, [&] {
        clock.start();
        ticker.start(1);
        for (int t = 0; t < kThreads; ++t)
            producers.emplace_back([&, t] {
                Produce(dlg.Control().Hub(), 1000 + t, kRows / kThreads);
                const qint64 done = clock.elapsed();
                qint64 seen = postedAt.load();
                while (seen < done && !postedAt.compare_exchange_weak(seen, done)) {
                }
            });
    });
    app.exec();
    for (std::thread& producer : producers)
        producer.join();
    const qint64 totalMs = std::max<qint64>(clock.elapsed(), 1);

    if (bTimedOut) {
        std::printf("timed out after %d ms with %d rows\n", kDeadlineMs, model->rowCount());
        return 1;
    }
    std::printf("log rows: %d from %d threads in %lld ms: %.0f rows/s (posting took %lld ms)\n", model->rowCount(),
                kThreads, static_cast<long long>(totalMs), model->rowCount() * 1000.0 / totalMs,
                static_cast<long long>(postedAt.load()));
    std::printf("longest stall of the window's thread: %lld ms\n", static_cast<long long>(longestStall));

    // A log that already holds a million rows: what one more row costs the
    // window's thread, paint included.
    constexpr int kSingleRows = 200;
    QElapsedTimer single;
    single.start();
    for (int i = 0; i < kSingleRows; ++i) {
        dlg.Control().Hub().PostServerLog("NOOP", 1);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        model->FlushAll();
        dlg.LogView()->viewport()->repaint();
    }
    std::printf("one more row at %d rows, painted: %.1f us each\n", model->rowCount(),
                single.nsecsElapsed() / 1e3 / kSingleRows);
    return 0;
}
