#include <algorithm>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include "platform/text_table.h"
#include "process_resources.h"
#include "session/connection_timeouts.h"
#include "session/control_socket.h"
#include "session/directory_listing.h"
#include "transfer_fixture.h"

namespace {

QByteArray Big5(Text text)
{
    return QByteArray::fromStdString(CTextTable::Big5(text));
}

QByteArray RandomBytes(qsizetype length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    QRandomGenerator generator(length);
    for (char& byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

QByteArray Digits(qsizetype length)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < length; ++i)
        bytes.append(static_cast<char>('0' + i % 10));
    return bytes;
}

// An integer socket option of a descriptor, or -1.
int SocketOption(int socket, int level, int name)
{
    int value = -1;
    socklen_t length = sizeof(value);
    return ::getsockopt(socket, level, name, &value, &length) == 0 ? value : -1;
}

// Larger than every socket buffer between the session and a client that does
// not read, so the download stays under way.
constexpr qint64 kStalledLength = qint64(256) << 20;

} // namespace

class TestTransfers : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void downloadsByteForByte();
    void downloadStartsAtRestOffset_data();
    void downloadStartsAtRestOffset();
    void restAppliesToOneTransferOnly();
    void downloadsEmptyFile();
    void refusesDownloadOfMissingOrFolderOrOutside_data();
    void refusesDownloadOfMissingOrFolderOrOutside();
    void refusesWithoutRight_data();
    void refusesWithoutRight();
    void uploadsByteForByte();
    void uploadSentBeforeStorIsKeptAndEndsIdle();
    void uploadCutsOrExtendsAtRestOffset_data();
    void uploadCutsOrExtendsAtRestOffset();
    void uploadWithoutDataMakesEmptyFile();
    void negativeRestRefusesUploadAndSessionGoesOn();
    void uploadToFolderIsRefused();
    void fiveGibibyteFileResumesAndLists();
    void listingLongerThanOneBlockArrivesWhole();
    void listingOfEmptyFolderSendsNothing();
    void listingTargets_data();
    void listingTargets();
    void danglingLinkDoesNotStopListing();
    void twoSessionsDownloadOneFileAtOnce();
    void uploadOfFileBeingDownloadedGets450();
    void downloadOfFileBeingUploadedGets426();
    void clientLeavingMidDownloadGets426AndSessionGoesOn();
    void shrunkenFileEndsWith426();
    void aborDuringDownloadAnswers426Then226();
    void controlConnectionSendsWithoutNagleDelay();
    void everyConnectionNoticesAVanishedClient_data();
    void everyConnectionNoticesAVanishedClient();

private:
    std::unique_ptr<CTransferFixture> m_pFixture;
    std::unique_ptr<CFtpTestClient> m_pClient;
};

void TestTransfers::init()
{
    m_pFixture = std::make_unique<CTransferFixture>();
    m_pClient = m_pFixture->NewClient();
    QVERIFY(m_pClient);
}

void TestTransfers::cleanup()
{
    m_pClient.reset();
    m_pFixture.reset();
}

void TestTransfers::downloadsByteForByte()
{
    // Longer than what one turn of the session moves, and not a whole number of
    // pages, so the transfer is carried across turns and ends on a short step.
    const QByteArray bytes = RandomBytes((9 << 20) + 4321);
    QVERIFY(m_pFixture->WriteFile("random.bin", bytes));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR random.bin");
    QCOMPARE(result.preliminary, Big5(Text::ReplyRetrStart));
    QCOMPARE(result.data.size(), bytes.size());
    QVERIFY(result.data == bytes);
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
}

void TestTransfers::downloadStartsAtRestOffset_data()
{
    QTest::addColumn<QByteArray>("rest");
    QTest::addColumn<int>("firstByte");
    QTest::newRow("no REST") << QByteArray() << 0;
    QTest::newRow("REST 100") << QByteArray("100") << 100;
    QTest::newRow("REST 999") << QByteArray("999") << 999;
    QTest::newRow("REST at the length") << QByteArray("1000") << 0;
    QTest::newRow("REST past the length") << QByteArray("5000") << 0;
    QTest::newRow("REST negative") << QByteArray("-5") << 0;
    QTest::newRow("REST past 32 bits") << QByteArray("4294967396") << 0;
}

void TestTransfers::downloadStartsAtRestOffset()
{
    QFETCH(QByteArray, rest);
    QFETCH(int, firstByte);
    const QByteArray bytes = Digits(1000);
    QVERIFY(m_pFixture->WriteFile("digits", bytes));
    if (!rest.isEmpty())
        QVERIFY(m_pClient->Command("REST " + rest).startsWith("350 "));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR digits");
    QCOMPARE(result.preliminary, Big5(Text::ReplyRetrStart));
    QCOMPARE(result.data, bytes.mid(firstByte));
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
}

void TestTransfers::restAppliesToOneTransferOnly()
{
    QVERIFY(m_pFixture->WriteFile("digits", Digits(1000)));
    QVERIFY(m_pClient->Command("REST 100").startsWith("350 "));
    QCOMPARE(CTransferFixture::Download(*m_pClient, "RETR digits").data.size(), 900);
    QCOMPARE(CTransferFixture::Download(*m_pClient, "RETR digits").data.size(), 1000);
}

void TestTransfers::downloadsEmptyFile()
{
    QVERIFY(m_pFixture->WriteFile("empty", QByteArray()));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR empty");
    QCOMPARE(result.preliminary, Big5(Text::ReplyRetrStart));
    QVERIFY(result.data.isEmpty());
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
}

void TestTransfers::refusesDownloadOfMissingOrFolderOrOutside_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("missing") << QByteArray("nothing") << Big5(Text::ReplyFileMissing);
    QTest::newRow("folder") << QByteArray("folder") << Big5(Text::ReplyFileMissing);
    QTest::newRow("link out of the root") << QByteArray("outside") << Big5(Text::ReplyDenied);
}

void TestTransfers::refusesDownloadOfMissingOrFolderOrOutside()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, reply);
    QTemporaryDir elsewhere;
    QVERIFY(QFile(elsewhere.filePath("secret")).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(elsewhere.filePath("secret"), QFile::decodeName(m_pFixture->LocalPath("outside"))));
    QVERIFY(QDir().mkdir(QFile::decodeName(m_pFixture->LocalPath("folder"))));
    QCOMPARE(m_pClient->Command("RETR " + name), reply);
    QVERIFY(m_pClient->StaysSilent());
}

void TestTransfers::refusesWithoutRight_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("right");
    QTest::newRow("RETR") << QByteArray("RETR digits") << int(Right::Download);
    QTest::newRow("STOR") << QByteArray("STOR digits") << int(Right::Upload);
}

void TestTransfers::refusesWithoutRight()
{
    QFETCH(QByteArray, command);
    QFETCH(int, right);
    QVERIFY(m_pFixture->WriteFile("digits", Digits(10)));
    m_pFixture->Host().SetRight(static_cast<Right>(right), 0);
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->Command(command), Big5(Text::ReplyNoRight));
    QVERIFY(m_pClient->StaysSilent());
    data.Reset();
    QCOMPARE(m_pFixture->ReadFile("digits"), Digits(10));
}

void TestTransfers::uploadsByteForByte()
{
    // As for downloads: several turns' worth, ending on an odd-sized piece.
    const QByteArray bytes = RandomBytes((9 << 20) + 4321);
    const TransferResult result = CTransferFixture::Upload(*m_pClient, "STOR new.bin", bytes);
    QCOMPARE(result.preliminary, Big5(Text::ReplyStorStart));
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
    QVERIFY(m_pFixture->ReadFile("new.bin") == bytes);
}

void TestTransfers::uploadSentBeforeStorIsKeptAndEndsIdle()
{
    // All of the upload, and its end, are queued before the file is open:
    // they are reported once it is, and the end of the stream ends the upload.
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    QVERIFY(m_pClient->WriteAll(data.Get(), "early bytes"));
    data.Reset();
    QCOMPARE(m_pClient->Command("STOR early"), Big5(Text::ReplyStorStart));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
    QCOMPARE(m_pFixture->ReadFile("early"), QByteArray("early bytes"));
    // The session is idle again: with a fresh data socket, ABOR finds no
    // transfer to end.
    CUniqueFd next = m_pClient->OpenPassive();
    QVERIFY(next.Valid());
    QCOMPARE(m_pClient->Command("ABOR"), Big5(Text::ReplyAbor));
    QVERIFY(m_pClient->StaysSilent());
}

void TestTransfers::uploadCutsOrExtendsAtRestOffset_data()
{
    QTest::addColumn<QByteArray>("rest");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray old = Digits(1000);
    QTest::newRow("no REST replaces") << QByteArray() << QByteArray("ABCDEFGHIJ");
    QTest::newRow("REST 4 keeps 4") << QByteArray("4") << old.left(4) + "ABCDEFGHIJ";
    QTest::newRow("REST past the end extends")
        << QByteArray("1002") << old + QByteArray(2, '\0') + "ABCDEFGHIJ";
}

void TestTransfers::uploadCutsOrExtendsAtRestOffset()
{
    QFETCH(QByteArray, rest);
    QFETCH(QByteArray, expected);
    QVERIFY(m_pFixture->WriteFile("digits", Digits(1000)));
    if (!rest.isEmpty())
        QVERIFY(m_pClient->Command("REST " + rest).startsWith("350 "));
    const TransferResult result = CTransferFixture::Upload(*m_pClient, "STOR digits", "ABCDEFGHIJ");
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
    QCOMPARE(m_pFixture->ReadFile("digits"), expected);
}

void TestTransfers::uploadWithoutDataMakesEmptyFile()
{
    const TransferResult result = CTransferFixture::Upload(*m_pClient, "STOR nothing", QByteArray());
    QCOMPARE(result.preliminary, Big5(Text::ReplyStorStart));
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
    QVERIFY(QFile::exists(QFile::decodeName(m_pFixture->LocalPath("nothing"))));
    QCOMPARE(m_pFixture->ReadFile("nothing"), QByteArray());
}

void TestTransfers::negativeRestRefusesUploadAndSessionGoesOn()
{
    QVERIFY(m_pFixture->WriteFile("digits", Digits(1000)));
    QVERIFY(m_pClient->Command("REST -4").startsWith("350 "));
    CUniqueFd data = m_pClient->OpenPassive();
    QVERIFY(data.Valid());
    QCOMPARE(m_pClient->Command("STOR digits"), Big5(Text::ReplyStorStart));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyFileAccess));
    data.Reset();
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    QCOMPARE(m_pFixture->ReadFile("digits"), Digits(1000));
}

void TestTransfers::uploadToFolderIsRefused()
{
    QVERIFY(QDir().mkdir(QFile::decodeName(m_pFixture->LocalPath("folder"))));
    const TransferResult result = CTransferFixture::Upload(*m_pClient, "STOR folder", "bytes");
    QCOMPARE(result.preliminary, Big5(Text::ReplyStorStart));
    QCOMPARE(result.final, Big5(Text::ReplyFileAccess));
    QVERIFY(m_pClient->StaysSilent());
}

void TestTransfers::fiveGibibyteFileResumesAndLists()
{
    const qint64 nLength = qint64(5) << 30;
    QVERIFY(m_pFixture->MakeSparseFile("huge", nLength - 10));
    {
        QFile file(QFile::decodeName(m_pFixture->LocalPath("huge")));
        QVERIFY(file.open(QIODevice::Append));
        QCOMPARE(file.write("0123456789"), 10);
    }
    QVERIFY(m_pClient->Command("REST " + QByteArray::number(nLength - 4)).startsWith("350 "));
    const TransferResult tail = CTransferFixture::Download(*m_pClient, "RETR huge");
    QCOMPARE(tail.data, QByteArray("6789"));
    QCOMPARE(tail.final, Big5(Text::ReplyTransferDone));

    const TransferResult listing = CTransferFixture::Download(*m_pClient, "LIST huge");
    QVERIFY2(listing.data.contains(" " + QByteArray::number(nLength) + " "), listing.data.constData());

    // An upload resumed past 4 GiB lands exactly there.
    QVERIFY(m_pClient->Command("REST " + QByteArray::number(nLength + 2)).startsWith("350 "));
    QCOMPARE(CTransferFixture::Upload(*m_pClient, "STOR huge", "ab").final, Big5(Text::ReplyTransferDone));
    QFile file(QFile::decodeName(m_pFixture->LocalPath("huge")));
    QCOMPARE(file.size(), nLength + 4);
    QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(nLength - 2));
    QCOMPARE(file.readAll(), QByteArray("89\0\0ab", 6));
}

void TestTransfers::listingLongerThanOneBlockArrivesWhole()
{
    QByteArrayList names;
    for (int i = 0; i < 100; ++i) {
        names.append(QByteArray::number(1000 + i) + QByteArray(60, 'n'));
        QVERIFY(m_pFixture->WriteFile(names.back(), Digits(i)));
    }
    const TransferResult result = CTransferFixture::Download(*m_pClient, "NLST -l");
    QCOMPARE(result.preliminary, Big5(Text::ReplyListStart));
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
    QVERIFY(result.data.size() > 2 * 4096);
    const QByteArrayList lines = result.data.split('\n');
    QCOMPARE(lines.size(), names.size() + 1);
    QVERIFY(lines.back().isEmpty());
    for (const QByteArray& name : names)
        QVERIFY2(result.data.count(" " + name + "\r\n") == 1, name.constData());
}

void TestTransfers::listingOfEmptyFolderSendsNothing()
{
    const TransferResult result = CTransferFixture::Download(*m_pClient, "LIST");
    QCOMPARE(result.preliminary, Big5(Text::ReplyListStart));
    QVERIFY(result.data.isEmpty());
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
    QVERIFY(m_pClient->StaysSilent());
}

void TestTransfers::listingTargets_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("refusal");
    QTest::addColumn<QByteArray>("names");
    QTest::newRow("no argument") << QByteArray("LIST") << QByteArray() << QByteArray("a.txt,sub");
    QTest::newRow("star") << QByteArray("LIST *") << QByteArray() << QByteArray("a.txt,sub");
    QTest::newRow("options only") << QByteArray("LIST -la") << QByteArray() << QByteArray("a.txt,sub");
    QTest::newRow("folder after option") << QByteArray("LIST -l sub") << QByteArray() << QByteArray("inner");
    QTest::newRow("one file, other case") << QByteArray("NLST A.TXT") << QByteArray() << QByteArray("a.txt");
    QTest::newRow("star after a name") << QByteArray("LIST sub/*") << Big5(Text::ReplyListMissing) << QByteArray();
    QTest::newRow("missing") << QByteArray("LIST none") << Big5(Text::ReplyListMissing) << QByteArray();
    QTest::newRow("link out of the root") << QByteArray("LIST out") << Big5(Text::ReplyNoRight) << QByteArray();
}

void TestTransfers::listingTargets()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, refusal);
    QFETCH(QByteArray, names);
    QTemporaryDir elsewhere;
    QVERIFY(m_pFixture->WriteFile("a.txt", "abc"));
    QVERIFY(QDir().mkdir(QFile::decodeName(m_pFixture->LocalPath("sub"))));
    QVERIFY(m_pFixture->WriteFile("sub/inner", "x"));
    if (QTest::currentDataTag() == QByteArray("link out of the root"))
        QVERIFY(QFile::link(elsewhere.path(), QFile::decodeName(m_pFixture->LocalPath("out"))));
    if (!refusal.isEmpty()) {
        QCOMPARE(m_pClient->Command(command), refusal);
        QVERIFY(m_pClient->StaysSilent());
        return;
    }
    const TransferResult result = CTransferFixture::Download(*m_pClient, command);
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
    QByteArrayList listed;
    for (const QByteArray& line : result.data.split('\n')) {
        if (!line.isEmpty())
            listed.append(line.mid(52).chopped(1));
    }
    std::sort(listed.begin(), listed.end());
    QCOMPARE(listed.join(','), names);
}

void TestTransfers::danglingLinkDoesNotStopListing()
{
    QVERIFY(QFile::link(QFile::decodeName(m_pFixture->LocalPath("gone")), QFile::decodeName(m_pFixture->LocalPath("a-link"))));
    QVERIFY(m_pFixture->WriteFile("b-file", "x"));
    QVERIFY(m_pFixture->WriteFile("c-file", "x"));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "LIST");
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));
    QVERIFY(result.data.contains(" a-link\r\n"));
    QVERIFY(result.data.contains(" b-file\r\n"));
    QVERIFY(result.data.contains(" c-file\r\n"));
}

void TestTransfers::twoSessionsDownloadOneFileAtOnce()
{
    // More than the sockets between them hold, so the first download is
    // still under way, its file open, while the second runs from start to end.
    const QByteArray bytes = RandomBytes(32 << 20);
    QVERIFY(m_pFixture->WriteFile("shared.bin", bytes));
    CUniqueFd first = m_pClient->OpenPassive();
    QCOMPARE(m_pClient->Command("RETR shared.bin"), Big5(Text::ReplyRetrStart));
    QVERIFY(m_pClient->ReadAtLeast(first.Get(), 4096));

    auto second = m_pFixture->NewClient();
    QVERIFY(second);
    const TransferResult result = CTransferFixture::Download(*second, "RETR shared.bin");
    QCOMPARE(result.preliminary, Big5(Text::ReplyRetrStart));
    QVERIFY(result.data == bytes);
    QCOMPARE(result.final, Big5(Text::ReplyTransferDone));

    const QByteArray firstRest = m_pClient->ReadAll(first.Get());
    first.Reset();
    QVERIFY(firstRest == bytes.mid(4096));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

void TestTransfers::uploadOfFileBeingDownloadedGets450()
{
    QVERIFY(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueFd stalled = m_pClient->OpenPassive();
    QCOMPARE(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    QVERIFY(m_pClient->ReadAtLeast(stalled.Get(), 4096));

    auto second = m_pFixture->NewClient();
    QVERIFY(second);
    const TransferResult result = CTransferFixture::Upload(*second, "STOR big", "bytes");
    QCOMPARE(result.preliminary, Big5(Text::ReplyStorStart));
    QCOMPARE(result.final, Big5(Text::ReplyFileAccess));
    stalled.Reset();
    QCOMPARE(QFile(QFile::decodeName(m_pFixture->LocalPath("big"))).size(), kStalledLength);
}

void TestTransfers::downloadOfFileBeingUploadedGets426()
{
    CUniqueFd upload = m_pClient->OpenPassive();
    QCOMPARE(m_pClient->Command("STOR growing"), Big5(Text::ReplyStorStart));
    QVERIFY(m_pClient->WriteAll(upload.Get(), "first part"));
    QTRY_COMPARE(m_pFixture->ReadFile("growing"), QByteArray("first part"));

    auto second = m_pFixture->NewClient();
    QVERIFY(second);
    const TransferResult result = CTransferFixture::Download(*second, "RETR growing");
    QCOMPARE(result.preliminary, Big5(Text::ReplyRetrStart));
    QVERIFY(result.data.isEmpty());
    QCOMPARE(result.final, Big5(Text::ReplyTransferAborted));

    // The refused reader took nothing from the upload.
    QVERIFY(m_pClient->WriteAll(upload.Get(), ", second part"));
    upload.Reset();
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
    QCOMPARE(m_pFixture->ReadFile("growing"), QByteArray("first part, second part"));
}

void TestTransfers::clientLeavingMidDownloadGets426AndSessionGoesOn()
{
    QVERIFY(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueFd data = m_pClient->OpenPassive();
    QCOMPARE(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    QVERIFY(m_pClient->ReadAtLeast(data.Get(), 65536));
    data.Reset();
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferAborted));
    QVERIFY(m_pClient->StaysSilent());
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    // The file was let go: another download of it goes through.
    QVERIFY(m_pFixture->WriteFile("small", "abc"));
    QCOMPARE(CTransferFixture::Download(*m_pClient, "RETR small").data, QByteArray("abc"));
}

void TestTransfers::shrunkenFileEndsWith426()
{
    QVERIFY(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueFd data = m_pClient->OpenPassive();
    QCOMPARE(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    // The file is opened once the data connection is up, after the 150.
    QVERIFY(m_pClient->ReadAtLeast(data.Get(), 4096));
    QVERIFY(QFile::resize(QFile::decodeName(m_pFixture->LocalPath("big")), 0));
    const QByteArray received = m_pClient->ReadAll(data.Get());
    data.Reset();
    QVERIFY(received.size() < kStalledLength);
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyTransferAborted));
    QVERIFY(m_pClient->StaysSilent());
}

void TestTransfers::aborDuringDownloadAnswers426Then226()
{
    QVERIFY(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueFd data = m_pClient->OpenPassive();
    QCOMPARE(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    QVERIFY(m_pClient->ReadAtLeast(data.Get(), 4096));
    QCOMPARE(m_pClient->Command("ABOR"), Big5(Text::ReplyAborData));
    QCOMPARE(m_pClient->ReadLine(), Big5(Text::ReplyAbor));
    QVERIFY(m_pClient->StaysSilent());
    // The data connection is gone and the session is idle: a second ABOR
    // has nothing to abort.
    QVERIFY(m_pClient->ReadAll(data.Get()).size() < kStalledLength);
    data.Reset();
    QCOMPARE(m_pClient->Command("ABOR"), Big5(Text::ReplyAbor));
    QVERIFY(m_pFixture->WriteFile("small", "abc"));
    QCOMPARE(CTransferFixture::Download(*m_pClient, "RETR small").data, QByteArray("abc"));
}

void TestTransfers::controlConnectionSendsWithoutNagleDelay()
{
    // The 226 follows the 150 before the client has acknowledged it; with
    // Nagle's delay on, the session's end of the control connection would
    // hold it back for that acknowledgement, tens of ms per transfer.
    const int serverEnd = CProcessResources::PeerSocketOf(m_pClient->Handle());
    QVERIFY(serverEnd >= 0);
    QVERIFY(SocketOption(serverEnd, IPPROTO_TCP, TCP_NODELAY) > 0);
}

void TestTransfers::everyConnectionNoticesAVanishedClient_data()
{
    QTest::addColumn<bool>("bPassive");
    QTest::newRow("passive data connection") << true;
    QTest::newRow("active data connection") << false;
}

void TestTransfers::everyConnectionNoticesAVanishedClient()
{
    QFETCH(bool, bPassive);
    // The options are read on the session's ends, which the kernel would use
    // to give up on a client that no longer answers.
    const auto expectTimeouts = [](int serverEnd, const PeerTimeouts& wanted) {
        const auto option = [serverEnd](int level, int name) { return SocketOption(serverEnd, level, name); };
        QVERIFY(serverEnd >= 0);
        QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
        QCOMPARE(option(IPPROTO_TCP, TCP_KEEPIDLE), wanted.nKeepIdleSeconds);
        QCOMPARE(option(IPPROTO_TCP, TCP_KEEPINTVL), wanted.nKeepIntervalSeconds);
        QCOMPARE(option(IPPROTO_TCP, TCP_KEEPCNT), wanted.nKeepProbes);
        QCOMPARE(option(IPPROTO_TCP, TCP_USER_TIMEOUT), wanted.nUserTimeoutMs);
    };
    expectTimeouts(CProcessResources::PeerSocketOf(m_pClient->Handle()), ConnectionTimeouts::kControl);
    if (QTest::currentTestFailed())
        return;

    QVERIFY(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueFd data;
    if (bPassive) {
        data = m_pClient->OpenPassive();
        QCOMPARE(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    } else {
        CUniqueFd listener = m_pClient->OpenActive();
        QCOMPARE(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
        data = m_pClient->AcceptData(listener.Get());
    }
    // Bytes flowing mean the session holds its end of the connection.
    QVERIFY(m_pClient->ReadAtLeast(data.Get(), 4096));
    expectTimeouts(CProcessResources::PeerSocketOf(data.Get()), ConnectionTimeouts::kData);
}

QTEST_GUILESS_MAIN(TestTransfers)
#include "tst_transfers.moc"
