#include <algorithm>
#include <clocale>
#include <ctime>
#include <memory>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "session/directory_listing.h"
#include "std_string_to_string.h"

namespace {

// 2026-03-05 09:07:00 UTC; the tests run with TZ=UTC.
constexpr qint64 kNow = 1772701620;
constexpr qint64 kDay = 86400;

// The lines of a listing ordered by name (the name begins at byte 52).
QList<QByteArray> SortedLines(const QByteArray& listing)
{
    QList<QByteArray> lines = listing.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    std::sort(lines.begin(), lines.end(),
              [](const QByteArray& a, const QByteArray& b) { return a.mid(52) < b.mid(52); });
    return lines;
}

} // namespace

class TestDirectoryListing : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void nameWithLineBreaksStaysOneLine();
    void stripsListOptions_data();
    void stripsListOptions();
    void dateFieldForm_data();
    void dateFieldForm();
    void monthNamesStayEnglishUnderAnotherLocale();
    void lineLayout_data();
    void lineLayout();
    void listsDirectoryInCodePage950();
    void listsOneFileUnderItsBareName();
};

void TestDirectoryListing::initTestCase()
{
    qputenv("TZ", "UTC");
    tzset();
}

void TestDirectoryListing::stripsListOptions_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("option alone") << QByteArray("-la") << QByteArray("");
    QTest::newRow("option before path") << QByteArray("-l /pub") << QByteArray("/pub");
    QTest::newRow("option after path") << QByteArray("/pub -l") << QByteArray("/pub");
    QTest::newRow("two options") << QByteArray("-a -l dir") << QByteArray("dir");
    QTest::newRow("minus inside word") << QByteArray("a-b") << QByteArray("a-b");
    QTest::newRow("minus after blank inside name") << QByteArray("my -file") << QByteArray("my");
    QTest::newRow("white space trimmed") << QByteArray(" \t*\r\n") << QByteArray("*");
    QTest::newRow("lone minus") << QByteArray("dir -") << QByteArray("dir");
    QTest::newRow("option eats one blank only") << QByteArray("-l  x") << QByteArray("x");
}

void TestDirectoryListing::stripsListOptions()
{
    QFETCH(QByteArray, argument);
    QFETCH(QByteArray, expected);
    std::string stripped = argument.toStdString();
    CDirectoryListing::StripListOptions(stripped);
    QCOMPARE(stripped, expected.toStdString());
}

void TestDirectoryListing::dateFieldForm_data()
{
    QTest::addColumn<qint64>("nModified");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("now") << kNow << QByteArray(" Mar 05 09:07 ");
    QTest::newRow("350 days 23 hours ago") << kNow - 350 * kDay - 23 * 3600 << QByteArray(" Mar 19 10:07 ");
    QTest::newRow("just under 351 days ago") << kNow - 351 * kDay + 1 << QByteArray(" Mar 19 09:07 ");
    QTest::newRow("351 days ago") << kNow - 351 * kDay << QByteArray(" Mar 19 2025  ");
    QTest::newRow("one second ahead") << kNow + 1 << QByteArray(" Mar 05 2026  ");
    QTest::newRow("long ago") << qint64(1072828800) << QByteArray(" Dec 31 2003  ");
    QTest::newRow("single-digit hour and minute") << kNow - 9 * 3600 + 60 << QByteArray(" Mar 05 00:08 ");
}

void TestDirectoryListing::dateFieldForm()
{
    QFETCH(qint64, nModified);
    QFETCH(QByteArray, expected);
    const std::string field = CDirectoryListing::FormatListTime(nModified, kNow);
    QCOMPARE(field, expected.toStdString());
    QCOMPARE(field.size(), size_t(14));
}

void TestDirectoryListing::monthNamesStayEnglishUnderAnotherLocale()
{
    // No other locale may be installed: build one into a private folder.
    QTemporaryDir locales;
    QVERIFY(locales.isValid());
    const QString target = locales.filePath("zh_TW.UTF-8");
    if (QProcess::execute("localedef", {"-i", "zh_TW", "-f", "UTF-8", target}) != 0)
        QSKIP("localedef could not build zh_TW.UTF-8 (package locales missing)");
    qputenv("LOCPATH", QFile::encodeName(locales.path()));
    QVERIFY(std::setlocale(LC_TIME, "zh_TW.UTF-8"));
    char native[32];
    const time_t now = kNow;
    tm local {};
    localtime_r(&now, &local);
    std::strftime(native, sizeof(native), "%b", &local);
    const std::string field = CDirectoryListing::FormatListTime(kNow - 400 * kDay, kNow);
    std::setlocale(LC_TIME, "C");
    qunsetenv("LOCPATH");
    QVERIFY(QByteArray(native) != "Mar"); // the locale is really in force
    QCOMPARE(field, std::string(" Jan 29 2025  "));
}

void TestDirectoryListing::lineLayout_data()
{
    QTest::addColumn<bool>("bIsDirectory");
    QTest::addColumn<qint64>("nSize");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray date(" Mar 05 09:07 ");
    QTest::newRow("file") << false << qint64(1234)
                          << QByteArray("-rwx------ 1 user group           1234 Mar 05 09:07 name\r\n");
    QTest::newRow("directory") << true << qint64(0)
                               << QByteArray("drwx------ 1 user group              0 Mar 05 09:07 name\r\n");
    QTest::newRow("one digit") << false << qint64(7)
                               << QByteArray("-rwx------ 1 user group              7 Mar 05 09:07 name\r\n");
    QTest::newRow("ten digits") << false << qint64(1234567890)
                                << QByteArray("-rwx------ 1 user group     1234567890 Mar 05 09:07 name\r\n");
    QTest::newRow("five GiB") << false << qint64(5368709120)
                              << QByteArray("-rwx------ 1 user group     5368709120 Mar 05 09:07 name\r\n");
    QTest::newRow("fourteen digits") << false << qint64(12345678901234)
                                     << QByteArray("-rwx------ 1 user group 12345678901234 Mar 05 09:07 name\r\n");
    QTest::newRow("fifteen digits") << false << qint64(123456789012345)
                                    << QByteArray("-rwx------ 1 user group 123456789012345 Mar 05 09:07 name\r\n");
}

void TestDirectoryListing::lineLayout()
{
    QFETCH(bool, bIsDirectory);
    QFETCH(qint64, nSize);
    QFETCH(QByteArray, expected);
    const std::string line = CDirectoryListing::FormatLine("name", bIsDirectory, nSize, " Mar 05 09:07 ");
    QCOMPARE(line, expected.toStdString());
    if (nSize < 1e14)
        QCOMPARE(line.find("name"), size_t(52));
}

void TestDirectoryListing::listsDirectoryInCodePage950()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir(dir.path()).mkdir("sub");
    for (const char* name : {"a.txt", ".profile", "\xE8\xA8\xB1", "caf\xC3\xA9"}) {
        QFile file(dir.filePath(QString::fromUtf8(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("abc");
    }
    QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("dangling")));
    const qint64 nNow = QDateTime::currentSecsSinceEpoch() + 60; // every entry a minute old at most
    const QByteArray now = QByteArray::fromStdString(CDirectoryListing::FormatListTime(nNow, nNow));

    const QList<QByteArray> lines = SortedLines(
        QByteArray::fromStdString(CDirectoryListing::ListDirectory(QFile::encodeName(dir.path()).toStdString(), nNow)));
    QCOMPARE(lines.size(), 6);
    for (const QByteArray& line : lines) {
        QVERIFY(line.endsWith("\r"));
        QCOMPARE(line.at(48), ':'); // every entry is recent: the time form
    }
    QVERIFY(lines[0].startsWith("-rwx------ 1 user group              3 "));
    QVERIFY(lines[0].endsWith(" .profile\r"));
    QVERIFY(lines[1].endsWith(" a.txt\r"));
    QVERIFY(lines[2].endsWith(" caf?\r"));
    QCOMPARE(lines[3], "-rwx------ 1 user group              0" + now + "dangling\r");
    QVERIFY(lines[4].startsWith("drwx------ 1 user group              0 "));
    QVERIFY(lines[4].endsWith(" sub\r"));
    QVERIFY(lines[5].startsWith("-rwx------ 1 user group              3 "));
    QVERIFY(lines[5].endsWith(" \xB3\x5C\r"));

    QVERIFY(CDirectoryListing::ListDirectory(QFile::encodeName(dir.filePath("missing")).toStdString(), nNow).empty());
}

void TestDirectoryListing::listsOneFileUnderItsBareName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir(dir.path()).mkdir("sub");
    QFile file(dir.filePath("sub/big.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(5368709120)); // sparse
    file.close();
    const QByteArray listing = QByteArray::fromStdString(
        CDirectoryListing::ListFile(QFile::encodeName(dir.filePath("sub/big.bin")).toStdString(), kNow));
    QVERIFY(listing.startsWith("-rwx------ 1 user group     5368709120 "));
    QVERIFY(listing.endsWith(" big.bin\r\n"));
    QCOMPARE(listing.count('\n'), 1);
}

void TestDirectoryListing::nameWithLineBreaksStaysOneLine()
{
    // A name on disk may hold CR and LF; listed raw it would forge entries.
    QTemporaryDir dir;
    QFile file(dir.path() + "/evil\r\n-rwx------ 1 user group 1 Jan 01 2000  fake");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QByteArray listing = QByteArray::fromStdString(
        CDirectoryListing::ListDirectory(QFile::encodeName(dir.path()).toStdString(), std::time(nullptr)));
    QCOMPARE(listing.count("\r\n"), 1);
    QVERIFY(listing.endsWith("evil  -rwx------ 1 user group 1 Jan 01 2000  fake\r\n"));
}

QTEST_GUILESS_MAIN(TestDirectoryListing)
#include "tst_directory_listing.moc"
