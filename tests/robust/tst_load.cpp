#include <QTest>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QScopeGuard>

#include "busy_wait.h"
#include "platform/text_table.h"
#include "process_resources.h"
#include "resource_baseline.h"
#include "running_server.h"
#include "ftp_test_client.h"

namespace {

// The soak run holds five times as many sessions at once.
int SessionCount()
{
    return qEnvironmentVariableIsSet("TESSEL_SOAK") ? 500 : 100;
}

constexpr qsizetype kFileBytes = 96 * 1024;
constexpr int kClientTimeoutMs = 60000;
constexpr int kPhaseDeadlineMs = 180000;

QByteArray Big5(Text text)
{
    return QByteArray::fromStdString(CTextTable::Big5(text));
}

QByteArray Hash(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// Bytes that differ from one session to the next and within a file.
QByteArray Contents(int session, char kind)
{
    QByteArray bytes(kFileBytes, Qt::Uninitialized);
    quint32 state = 2654435761u * static_cast<quint32>(session + 1) + static_cast<quint32>(kind);
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

QByteArray DownloadName(int session)
{
    return "down-" + QByteArray::number(session) + ".bin";
}

QByteArray UploadName(int session)
{
    return "up-" + QByteArray::number(session) + ".bin";
}

// Holds every client after its login until all of them are logged in, so
// that the sessions are truly held at the same time.
class CLoginGate {
public:
    void Arrive()
    {
        std::lock_guard lock(m_Lock);
        ++m_nArrived;
    }
    int Arrived()
    {
        std::lock_guard lock(m_Lock);
        return m_nArrived;
    }
    void Open()
    {
        std::lock_guard lock(m_Lock);
        m_bOpen = true;
        m_Opened.notify_all();
    }
    bool WaitOpen()
    {
        std::unique_lock lock(m_Lock);
        return m_Opened.wait_for(lock, std::chrono::milliseconds(kPhaseDeadlineMs), [this] { return m_bOpen; });
    }

private:
    std::mutex m_Lock;
    std::condition_variable m_Opened;
    int m_nArrived = 0;
    bool m_bOpen = false;
};

// One client's whole visit; the text says which step failed, empty when all
// went right. Odd sessions use active data connections, even ones passive.
class CVisit {
public:
    CVisit(int session, quint16 port) : m_nSession(session), m_nPort(port) {}

    QByteArray Run(CLoginGate& gate)
    {
        const bool bLoggedIn = m_Client.Connect(m_nPort) && m_Client.Login();
        gate.Arrive();
        if (!bLoggedIn)
            return "login";
        if (!gate.WaitOpen())
            return "gate";
        const auto [listStart, listing, listEnd] = Transfer("LIST", QByteArray());
        if (listStart != Big5(Text::ReplyListStart) || !listing.contains(" " + DownloadName(m_nSession) + "\r\n")
            || listEnd != Big5(Text::ReplyTransferDone))
            return "list: " + listStart + " / " + listEnd;
        const auto [retrStart, file, retrEnd] = Transfer("RETR " + DownloadName(m_nSession), QByteArray());
        if (retrStart != Big5(Text::ReplyRetrStart) || Hash(file) != Hash(Contents(m_nSession, 'd'))
            || retrEnd != Big5(Text::ReplyTransferDone))
            return "retr: " + retrStart + " / " + retrEnd + " / " + QByteArray::number(file.size());
        const auto [storStart, unused, storEnd] = Transfer("STOR " + UploadName(m_nSession), Contents(m_nSession, 'u'));
        if (storStart != Big5(Text::ReplyStorStart) || storEnd != Big5(Text::ReplyTransferDone))
            return "stor: " + storStart + " / " + storEnd;
        if (m_Client.Command("QUIT") != Big5(Text::ReplyBye) || !m_Client.WaitClosed())
            return "quit";
        return QByteArray();
    }

private:
    struct Exchange {
        QByteArray preliminary;
        QByteArray data;
        QByteArray final;
    };

    // The command over a data connection: the bytes are sent when there are
    // any, otherwise whatever arrives is read.
    Exchange Transfer(const QByteArray& command, const QByteArray& upload)
    {
        Exchange exchange;
        const bool bActive = m_nSession % 2 == 1;
        CUniqueFd opened = bActive ? m_Client.OpenActive() : m_Client.OpenPassive();
        if (!opened.Valid())
            return exchange;
        exchange.preliminary = m_Client.Command(command);
        // Passive, the data connection is the one opened; active, it is accepted there.
        CUniqueFd data = bActive ? m_Client.AcceptData(opened.Get()) : std::move(opened);
        opened.Reset();
        if (data.Valid()) {
            if (upload.isEmpty())
                exchange.data = m_Client.ReadAll(data.Get());
            else
                m_Client.WriteAll(data.Get(), upload);
            // The end of the stream ends an upload before the final reply.
            data.Reset();
        }
        exchange.final = m_Client.ReadLine();
        return exchange;
    }

    int m_nSession;
    quint16 m_nPort;
    CFtpTestClient m_Client{CFtpTestClient::Wait::Block, kClientTimeoutMs};
};

} // namespace

class TestLoad : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void concurrentSessionsAllSucceedAndGiveEverythingBack();
};

void TestLoad::initTestCase()
{
    // Each session holds a control and a data connection on both ends.
    QVERIFY(CProcessResources::RaiseFileLimit(8L * SessionCount() + 1024));
}

void TestLoad::concurrentSessionsAllSucceedAndGiveEverythingBack()
{
    const int nSessions = SessionCount();
    const CResourceBaseline idle;
    CRunningServer server;
    for (int i = 0; i < nSessions; ++i)
        QVERIFY(server.WriteFile(DownloadName(i), Contents(i, 'd')));
    // One visit first, so that what the server sets up once is not counted.
    {
        CLoginGate gate;
        gate.Open();
        CVisit warmUp(nSessions, server.Port());
        QVERIFY(server.WriteFile(DownloadName(nSessions), Contents(nSessions, 'd')));
        QByteArray result;
        std::atomic<bool> bDone{false};
        std::thread visitor([&] {
            result = warmUp.Run(gate);
            bDone = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(bDone && server.Server().Hub().SessionCount() == 0, kPhaseDeadlineMs);
        visitor.join();
        QCOMPARE(result, QByteArray());
    }
    // The warm-up's session thread is gone for good, not only out of the registry.
    QCOMPARE(idle.WaitUntilBack(CResourceBaseline::Held::Threads, CTestSocket::kDeadlineMs), QByteArray());
    const CResourceBaseline baseline;

    CLoginGate gate;
    std::vector<QByteArray> failures(nSessions);
    std::atomic<int> nFinished{0};
    QElapsedTimer clock;
    clock.start();
    {
        std::vector<std::jthread> visitors;
        // However the test ends, the clients are let through and waited for.
        const auto release = qScopeGuard([&] { gate.Open(); });
        for (int i = 0; i < nSessions; ++i) {
            visitors.emplace_back([&, i] {
                CVisit visit(i, server.Port());
                failures[i] = visit.Run(gate);
                ++nFinished;
            });
        }
        QVERIFY(CBusyWait::Until([&] { return gate.Arrived() == nSessions; }, kPhaseDeadlineMs));
        const bool bAllConnected = CBusyWait::Until([&] { return server.Server().Connections() == nSessions; }, 10000);
        if (!bAllConnected) {
            std::map<QByteArray, int> kinds;
            for (int i = 0; i < nSessions; ++i)
                ++kinds[failures[i]];
            for (const auto& [kind, count] : kinds)
                qInfo("%s: %d", kind.constData(), count);
            qInfo("connections %d", server.Server().Connections());
        }
        QVERIFY(bAllConnected);
        QCOMPARE(server.Server().Hub().SessionCount(), nSessions);
        const qint64 nLoginMs = clock.elapsed();
        gate.Open();
        QVERIFY(CBusyWait::Until([&] { return nFinished == nSessions; }, kPhaseDeadlineMs));
        qInfo("%d sessions held at once after %lld ms; all visits done after %lld ms", nSessions, nLoginMs,
              clock.elapsed());
    }

    for (int i = 0; i < nSessions; ++i) {
        QVERIFY2(failures[i].isEmpty(), qPrintable(QString::number(i) + ": " + QString::fromLatin1(failures[i])));
        QVERIFY2(Hash(server.ReadFile(UploadName(i))) == Hash(Contents(i, 'u')), qPrintable(QString::number(i)));
    }
    QVERIFY(server.ServesFreshClient());
    QTRY_COMPARE_WITH_TIMEOUT(server.Server().Connections(), 0, 10000);
    QCOMPARE(baseline.WaitUntilBack(CResourceBaseline::Held::ThreadsAndFiles, 10000), QByteArray());
}

QTEST_GUILESS_MAIN(TestLoad)
#include "tst_load.moc"
