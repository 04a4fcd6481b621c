#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "resource_baseline.h"
#include "running_server.h"
#include "transfer_fixture.h"

namespace {

constexpr qint64 kBigFile = 64LL * 1024 * 1024;
constexpr qint64 kFullFileSystem = 256 * 1024;

QByteArray Big5(Text text)
{
    return QByteArray::fromStdString(CTextTable::Big5(text));
}

qint64 FileSize(const QByteArray& path)
{
    return QFileInfo(QFile::decodeName(path)).size();
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void brokenDataConnectionEndsOnlyTheTransfer_data();
    void brokenDataConnectionEndsOnlyTheTransfer();
    void resetControlConnectionEndsTheSession_data();
    void resetControlConnectionEndsTheSession();
    void dataConnectionNeverUsed_data();
    void dataConnectionNeverUsed();
    void uploadIntoFullFileSystemKeepsPartialFile();
    void unreadableDownloadIsAborted_data();
    void unreadableDownloadIsAborted();
    void vanishedCurrentFolderKeepsSessionSane();

private:
    std::unique_ptr<CRunningServer> m_pServer;
    std::unique_ptr<CFtpTestClient> m_pClient;
    std::unique_ptr<CResourceBaseline> m_pIdle;
    std::unique_ptr<CResourceBaseline> m_pBaseline;
    // A tiny file system of its own, mounted where only this process sees it.
    QTemporaryDir m_FullRoot;
    QByteArray m_strNoFullFileSystem;
};

void TestFaults::initTestCase()
{
    m_pIdle = std::make_unique<CResourceBaseline>();
    // Mounting needs root, and a mount namespace can only be entered while
    // this process has a single thread, so it is made before any session.
    if (::geteuid() != 0)
        m_strNoFullFileSystem = "needs root to mount a small file system";
    else if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        m_strNoFullFileSystem = "cannot make a private mount namespace";
    else if (::mount("tessel-full", QFile::encodeName(m_FullRoot.path()).constData(), "tmpfs", 0,
                     ("size=" + QByteArray::number(kFullFileSystem)).constData())
             != 0)
        m_strNoFullFileSystem = "cannot mount a small file system";
}

void TestFaults::cleanupTestCase()
{
    if (m_strNoFullFileSystem.isEmpty())
        ::umount2(QFile::encodeName(m_FullRoot.path()).constData(), MNT_DETACH);
}

void TestFaults::init()
{
    m_pServer = std::make_unique<CRunningServer>();
    QVERIFY(m_pServer->ServesFreshClient());
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    // The visit's session thread is gone for good, not only out of the registry.
    QCOMPARE(m_pIdle->WaitUntilBack(CResourceBaseline::Held::Threads, CTestSocket::kDeadlineMs), QByteArray());
    m_pBaseline = std::make_unique<CResourceBaseline>();
    m_pClient = m_pServer->NewClient();
    QVERIFY(m_pClient);
}

void TestFaults::cleanup()
{
    // Whatever the fault, the server goes on serving and gives back what the
    // faulty session held.
    QVERIFY(m_pServer->ServesFreshClient());
    m_pClient.reset();
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    QCOMPARE(m_pBaseline->WaitUntilBack(CResourceBaseline::Held::ThreadsAndFiles, CTestSocket::kDeadlineMs), QByteArray());
    m_pServer.reset();
}

void TestFaults::brokenDataConnectionEndsOnlyTheTransfer_data()
{
    QTest::addColumn<bool>("bUpload");
    QTest::addColumn<bool>("bReset");
    QTest::newRow("download, data connection reset") << false << true;
    QTest::newRow("download, data connection closed") << false << false;
    QTest::newRow("upload, data connection reset") << true << true;
}

void TestFaults::brokenDataConnectionEndsOnlyTheTransfer()
{
    QFETCH(bool, bUpload);
    QFETCH(bool, bReset);
    QVERIFY(m_pServer->MakeSparseFile("big.bin", kBigFile));
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    if (bUpload) {
        QCOMPARE(m_pClient->Command("STOR part.bin"), Big5(Text::ReplyStorStart));
        QVERIFY(m_pClient->WriteAll(data.Get(), QByteArray(100000, 'u')));
        QTRY_VERIFY_WITH_TIMEOUT(FileSize(m_pServer->LocalPath("part.bin")) == 100000, CTestSocket::kDeadlineMs);
    } else {
        QCOMPARE(m_pClient->Command("RETR big.bin"), Big5(Text::ReplyRetrStart));
        QVERIFY(m_pClient->ReadAtLeast(data.Get(), 100000));
    }
    if (bReset)
        CTestSocket::Reset(data);
    else
        data.Reset();
    // A broken transfer is never reported as done, and the session goes on.
    QCOMPARE(m_pClient->ReadLine(5000), Big5(Text::ReplyTransferAborted));
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    if (bUpload)
        QCOMPARE(FileSize(m_pServer->LocalPath("part.bin")), 100000);
}

void TestFaults::resetControlConnectionEndsTheSession_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("during a download") << QByteArray("RETR big.bin");
    QTest::newRow("during an upload") << QByteArray("STOR new.bin");
    QTest::newRow("while the data connection is awaited") << QByteArray("LIST");
}

void TestFaults::resetControlConnectionEndsTheSession()
{
    QFETCH(QByteArray, command);
    QVERIFY(m_pServer->MakeSparseFile("big.bin", kBigFile));
    const bool bAwaited = command == "LIST";
    CUniqueFd data;
    if (bAwaited)
        QVERIFY(m_pClient->Command("PASV").startsWith("227 "));
    else
        data = m_pClient->OpenPassive();
    QVERIFY(m_pClient->Command(command).startsWith("150 "));
    if (command.startsWith("STOR"))
        QVERIFY(m_pClient->WriteAll(data.Get(), QByteArray(50000, 's')));
    m_pClient->Reset();
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    // The session took its data connection with it.
    if (data.Valid())
        m_pClient->ReadAll(data.Get(), 5000);
}

void TestFaults::dataConnectionNeverUsed_data()
{
    QTest::addColumn<QByteArray>("ending");
    QTest::newRow("client quits") << QByteArray("QUIT");
    QTest::newRow("another PASV replaces it") << QByteArray("PASV");
    QTest::newRow("client goes away") << QByteArray();
}

void TestFaults::dataConnectionNeverUsed()
{
    QFETCH(QByteArray, ending);
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    if (ending == "QUIT") {
        QCOMPARE(m_pClient->Command("QUIT"), Big5(Text::ReplyBye));
        QVERIFY(m_pClient->WaitClosed());
    } else if (ending == "PASV") {
        QVERIFY(m_pClient->Command("PASV").startsWith("227 "));
        QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    } else {
        m_pClient->Close();
    }
    // Whichever way, the server lets go of the unused connection.
    QCOMPARE(m_pClient->ReadAll(data.Get(), 5000), QByteArray());
}

void TestFaults::uploadIntoFullFileSystemKeepsPartialFile()
{
    if (!m_strNoFullFileSystem.isEmpty())
        QSKIP(m_strNoFullFileSystem.constData());
    m_pServer->SetHome(QFile::encodeName(m_FullRoot.path()));
    QCOMPARE(m_pClient->Command("PASS again"), Big5(Text::ReplyLoggedIn));
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->Command("STOR huge.bin"), Big5(Text::ReplyStorStart));
    // The server stops reading once the disk is full; what is not taken does not matter.
    m_pClient->WriteAll(data.Get(), QByteArray(4 * kFullFileSystem, 'f'));
    QCOMPARE(m_pClient->ReadLine(5000), Big5(Text::ReplyFileAccess));
    data.Reset();
    const qint64 nKept = FileSize(QFile::encodeName(m_FullRoot.filePath("huge.bin")));
    QVERIFY2(nKept > 0 && nKept <= kFullFileSystem, qPrintable(QString::number(nKept)));
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    QCOMPARE(m_pClient->Command("DELE huge.bin"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyDeleted, "huge.bin")));
}

void TestFaults::unreadableDownloadIsAborted_data()
{
    QTest::addColumn<bool>("bShrinks");
    QTest::newRow("a pipe, not a file") << false;
    QTest::newRow("a file that shrinks under the download") << true;
}

void TestFaults::unreadableDownloadIsAborted()
{
    QFETCH(bool, bShrinks);
    // Permission bits do not stop root; what makes reading fail is a name
    // that is not a regular file, or bytes that are gone when their turn comes.
    if (bShrinks)
        QVERIFY(m_pServer->MakeSparseFile("file.bin", kBigFile));
    else
        QCOMPARE(::mkfifo(m_pServer->LocalPath("file.bin").constData(), 0600), 0);
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->Command("RETR file.bin"), Big5(Text::ReplyRetrStart));
    if (bShrinks) {
        QVERIFY(m_pClient->ReadAtLeast(data.Get(), 100000));
        QVERIFY(::truncate(m_pServer->LocalPath("file.bin").constData(), 200000) == 0);
    }
    const QByteArray received = m_pClient->ReadAll(data.Get(), 10000);
    data.Reset();
    QCOMPARE(m_pClient->ReadLine(5000), Big5(Text::ReplyTransferAborted));
    QVERIFY(received.size() < kBigFile);
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

void TestFaults::vanishedCurrentFolderKeepsSessionSane()
{
    QVERIFY(QDir().mkpath(QFile::decodeName(m_pServer->LocalPath("gone"))));
    QCOMPARE(m_pClient->Command("CWD gone"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyCwd, "/gone")));
    QVERIFY(QDir().rmdir(QFile::decodeName(m_pServer->LocalPath("gone"))));

    QCOMPARE(m_pClient->Command("PWD"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyPwd, "/gone")));
    QCOMPARE(m_pClient->Command("LIST"), Big5(Text::ReplyListMissing));
    QCOMPARE(m_pClient->Command("RETR a.txt"), Big5(Text::ReplyFileMissing));
    QCOMPARE(m_pClient->Command("CWD sub"), Big5(Text::ReplyDirMissing));
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->Command("STOR a.txt"), Big5(Text::ReplyStorStart));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyFileAccess));
    data.Reset();
    QVERIFY(!QFileInfo::exists(QFile::decodeName(m_pServer->LocalPath("gone"))));
    QCOMPARE(m_pClient->Command("CDUP"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyCwd, "/")));
    QCOMPARE(m_pClient->Command("PWD"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyPwd, "/")));
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
