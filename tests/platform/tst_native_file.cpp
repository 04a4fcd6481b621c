#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "platform/native_file.h"

using Mode = CNativeFile::Mode;
Q_DECLARE_METATYPE(CNativeFile::Mode)

class TestNativeFile : public QObject {
    Q_OBJECT
private slots:
    void init();

    void sharingBetweenTransfers_data();
    void sharingBetweenTransfers();
    void closingReleasesTheFile();
    void writeOpenKeepsContentsAndCreatesMissing();
    void refusesDirectoriesAndMissingFiles();
    void worksPastFourGibibytes();
    void setLengthRefusesNegative();

private:
    std::string PathOf(const char* name) const { return QFile::encodeName(m_Dir.filePath(name)).toStdString(); }
    void WriteFile(const char* name, const QByteArray& bytes);

    QTemporaryDir m_Dir;
    COpenFileTable m_Table;
};

void TestNativeFile::init()
{
    QVERIFY(m_Dir.isValid());
}

void TestNativeFile::WriteFile(const char* name, const QByteArray& bytes)
{
    QFile file(m_Dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

void TestNativeFile::sharingBetweenTransfers_data()
{
    QTest::addColumn<Mode>("first");
    QTest::addColumn<Mode>("second");
    QTest::addColumn<bool>("bSecondOpens");
    // Downloads share a file with each other; whatever writes shares it with
    // nobody else who writes, and a download lets nobody write.
    QTest::newRow("download, download") << Mode::ReadDenyWrite << Mode::ReadDenyWrite << true;
    QTest::newRow("download, upload") << Mode::ReadDenyWrite << Mode::WriteDenyWrite << false;
    QTest::newRow("upload, download") << Mode::WriteDenyWrite << Mode::ReadDenyWrite << false;
    QTest::newRow("upload, upload") << Mode::WriteDenyWrite << Mode::WriteDenyWrite << false;
}

void TestNativeFile::sharingBetweenTransfers()
{
    QFETCH(Mode, first);
    QFETCH(Mode, second);
    QFETCH(bool, bSecondOpens);
    WriteFile("shared", "bytes");
    CNativeFile one;
    CNativeFile two;
    QVERIFY(one.Open(PathOf("shared"), first, m_Table));
    QCOMPARE(two.Open(PathOf("shared"), second, m_Table), bSecondOpens);
    // Another file is not affected.
    WriteFile("other", "bytes");
    QVERIFY(two.Open(PathOf("other"), second, m_Table));
}

void TestNativeFile::closingReleasesTheFile()
{
    WriteFile("once", "bytes");
    {
        CNativeFile one;
        CNativeFile two;
        QVERIFY(one.Open(PathOf("once"), Mode::ReadDenyWrite, m_Table));
        QVERIFY(two.Open(PathOf("once"), Mode::ReadDenyWrite, m_Table));
        CNativeFile writer;
        // The file stays closed to writers until its last reader has left.
        one.Close();
        QVERIFY(!writer.Open(PathOf("once"), Mode::WriteDenyWrite, m_Table));
        two.Close();
        QVERIFY(writer.Open(PathOf("once"), Mode::WriteDenyWrite, m_Table));
    }
    // Destruction releases as well: the table is empty again.
    CNativeFile three;
    QVERIFY(three.Open(PathOf("once"), Mode::WriteDenyWrite, m_Table));
}

void TestNativeFile::writeOpenKeepsContentsAndCreatesMissing()
{
    WriteFile("kept", "0123456789");
    CNativeFile file;
    QVERIFY(file.Open(PathOf("kept"), Mode::WriteDenyWrite, m_Table));
    QCOMPARE(file.Length(), 10);
    QVERIFY(file.WriteAt(2, "ab", 2));
    char buffer[16] = {};
    CNativeFile reader;
    file.Close();
    QVERIFY(reader.Open(PathOf("kept"), Mode::ReadDenyWrite, m_Table));
    QCOMPARE(reader.ReadAt(0, buffer, sizeof(buffer)), 10);
    QCOMPARE(QByteArray(buffer, 10), QByteArray("01ab456789"));
    QCOMPARE(reader.ReadAt(10, buffer, sizeof(buffer)), 0);

    CNativeFile created;
    QVERIFY(created.Open(PathOf("new"), Mode::WriteDenyWrite, m_Table));
    QCOMPARE(created.Length(), 0);
}

void TestNativeFile::refusesDirectoriesAndMissingFiles()
{
    QVERIFY(QDir(m_Dir.path()).mkdir("folder"));
    CNativeFile file;
    QVERIFY(!file.Open(PathOf("folder"), Mode::ReadDenyWrite, m_Table));
    QVERIFY(!file.Open(PathOf("folder"), Mode::WriteDenyWrite, m_Table));
    QVERIFY(!file.Open(PathOf("missing"), Mode::ReadDenyWrite, m_Table));
    QVERIFY(!file.Open(PathOf("missing/below"), Mode::WriteDenyWrite, m_Table));
    QVERIFY(!file.IsOpen());
}

void TestNativeFile::worksPastFourGibibytes()
{
    const qint64 nFar = (qint64(5) << 30) + 3;
    CNativeFile file;
    QVERIFY(file.Open(PathOf("sparse"), Mode::WriteDenyWrite, m_Table));
    QVERIFY(file.SetLength(nFar));
    QVERIFY(file.WriteAt(nFar, "tail", 4));
    QCOMPARE(file.Length(), nFar + 4);
    file.Close();
    QVERIFY(file.Open(PathOf("sparse"), Mode::ReadDenyWrite, m_Table));
    char buffer[8] = {};
    QCOMPARE(file.ReadAt(nFar - 1, buffer, sizeof(buffer)), 5);
    QCOMPARE(QByteArray(buffer, 5), QByteArray("\0tail", 5));
}

void TestNativeFile::setLengthRefusesNegative()
{
    CNativeFile file;
    QVERIFY(file.Open(PathOf("cut"), Mode::WriteDenyWrite, m_Table));
    QVERIFY(!file.SetLength(-1));
    QVERIFY(file.SetLength(3));
    QCOMPARE(file.Length(), 3);
}

QTEST_GUILESS_MAIN(TestNativeFile)
#include "tst_native_file.moc"
