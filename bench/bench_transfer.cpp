// Download and upload throughput of one session on loopback, in passive mode.
// Usage: bench_transfer [MiB]            (default 1024, at most 8192)
//        bench_transfer serve SECONDS DIR (serves DIR on a loopback port for
//                                          at most SECONDS, for trying clients)
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "discarding_session_host.h"
#include "ftp_test_client.h"
#include "session_harness.h"

namespace {

// The whole run ends after two minutes, and with it every wait of the client.
constexpr int kClientDeadlineMs = 120000;

double MibPerSecond(qint64 bytes, std::chrono::steady_clock::duration elapsed)
{
    return bytes / 1048576.0 / std::chrono::duration<double>(elapsed).count();
}

// The bytes of one transfer in 64 KiB pieces, as a simple client sends them.
qint64 SendBlocks(int data, qint64 nBytes, CTestSocket::Deadline deadline)
{
    const std::vector<char> buffer(1 << 16);
    qint64 sent = 0;
    while (sent < nBytes) {
        const qint64 piece = std::min<qint64>(static_cast<qint64>(buffer.size()), nBytes - sent);
        if (!CTestSocket::WriteAll(data, buffer.data(), piece, deadline, CTestSocket::Wait::Block))
            break;
        sent += piece;
    }
    return sent;
}

void RunClient(quint16 port, qint64 nBytes)
{
    const CTestSocket::Deadline deadline = CTestSocket::DeadlineIn(kClientDeadlineMs);
    CFtpTestClient client(CTestSocket::Wait::Block, kClientDeadlineMs);
    client.Connect(port);
    client.ReadLine();
    client.Command("USER anonymous");
    client.Command("PASS bench");

    CUniqueFd data = client.OpenPassive();
    auto start = std::chrono::steady_clock::now();
    client.Command("RETR big");
    const qint64 received = std::max<qint64>(CTestSocket::ReadToEnd(data.Get(), deadline, CTestSocket::Wait::Block), 0);
    data.Reset();
    const QByteArray retrDone = client.ReadLine();
    std::printf("RETR %lld bytes: %.0f MiB/s (%s)\n", static_cast<long long>(received),
                MibPerSecond(received, std::chrono::steady_clock::now() - start), retrDone.left(3).constData());

    data = client.OpenPassive();
    start = std::chrono::steady_clock::now();
    client.Command("STOR up");
    const qint64 sent = SendBlocks(data.Get(), nBytes, deadline);
    data.Reset();
    const QByteArray storDone = client.ReadLine();
    std::printf("STOR %lld bytes: %.0f MiB/s (%s)\n", static_cast<long long>(sent),
                MibPerSecond(sent, std::chrono::steady_clock::now() - start), storDone.left(3).constData());
    client.Command("QUIT");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments[1] == "serve") {
        const int seconds = std::clamp(arguments[2].toInt(), 1, 600);
        CSessionHarness listener(std::make_shared<CDiscardingSessionHost>(QFile::encodeName(arguments[3]).toStdString()));
        std::printf("serving %s on 127.0.0.1:%u for %d s\n", qPrintable(arguments[3]), listener.Port(), seconds);
        std::fflush(stdout);
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        return app.exec();
    }
    const qint64 nMib = std::clamp<qint64>(arguments.size() > 1 ? arguments[1].toLongLong() : 1024, 1, 8192);
    QTemporaryDir root;
    QFile big(root.filePath("big"));
    if (!big.open(QIODevice::WriteOnly) || !big.resize(nMib << 20))
        return 1;
    big.close();
    CSessionHarness listener(std::make_shared<CDiscardingSessionHost>(QFile::encodeName(root.path()).toStdString()));
    std::thread client([&] {
        RunClient(listener.Port(), nMib << 20);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QTimer::singleShot(kClientDeadlineMs, &app, &QCoreApplication::quit);
    app.exec();
    client.join();
    return 0;
}
