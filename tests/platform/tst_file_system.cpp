#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "platform/file_system.h"
#include "std_string_to_string.h"

class TestFileSystem : public QObject {
    Q_OBJECT
private slots:
    void init();
    void statReportsKindAndSixtyFourBitSize();
    void removeDirectoryLeavesContents();
    void removeFileRefusesDirectory();
    void renameNeverReplaces_data();
    void renameNeverReplaces();
    void listingSkipsDotEntriesAndKeepsDanglingLinks();
    void realPathResolvesLinksAndRefusesDangling();
    void pathWithNulNamesNothing();

private:
    std::string Path(const char* name) const { return QFile::encodeName(m_pDir->filePath(name)).toStdString(); }
    void MakeFile(const char* name, int64_t nSize = 0);

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestFileSystem::init()
{
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestFileSystem::MakeFile(const char* name, int64_t nSize)
{
    QFile file(m_pDir->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(nSize));
}

void TestFileSystem::statReportsKindAndSixtyFourBitSize()
{
    constexpr int64_t kFiveGiB = 5LL * 1024 * 1024 * 1024;
    MakeFile("big", kFiveGiB); // sparse: takes no room on disk
    QDir(m_pDir->path()).mkdir("dir");

    const FileStatus file = CFileSystem::Stat(Path("big"));
    QCOMPARE(file.kind, FileKind::File);
    QCOMPARE(file.nSize, kFiveGiB);
    QVERIFY(file.nModified > 0);
    QCOMPARE(CFileSystem::Stat(Path("dir")).kind, FileKind::Directory);
    QCOMPARE(CFileSystem::Stat(Path("dir")).nSize, 0);
    QCOMPARE(CFileSystem::Stat(Path("missing")).kind, FileKind::Missing);
}

void TestFileSystem::removeDirectoryLeavesContents()
{
    QDir(m_pDir->path()).mkpath("full/inner");
    QCOMPARE(CFileSystem::RemoveDirectory(Path("full")), FileError::NotEmpty);
    QVERIFY(QFileInfo::exists(m_pDir->filePath("full/inner")));
    QCOMPARE(CFileSystem::RemoveDirectory(Path("full/inner")), FileError::None);
    QCOMPARE(CFileSystem::RemoveDirectory(Path("full")), FileError::None);
    QCOMPARE(CFileSystem::RemoveDirectory(Path("full")), FileError::NotFound);
}

void TestFileSystem::removeFileRefusesDirectory()
{
    QDir(m_pDir->path()).mkdir("dir");
    QVERIFY(CFileSystem::RemoveFile(Path("dir")) != FileError::None);
    QVERIFY(QFileInfo(m_pDir->filePath("dir")).isDir());
    MakeFile("file");
    QCOMPARE(CFileSystem::RemoveFile(Path("file")), FileError::None);
    QVERIFY(!QFileInfo::exists(m_pDir->filePath("file")));
}

void TestFileSystem::renameNeverReplaces_data()
{
    QTest::addColumn<bool>("bSourceIsDirectory");
    QTest::addColumn<int>("nTarget"); // 0 none, 1 file, 2 directory
    QTest::addColumn<bool>("bMoved");

    QTest::newRow("file to free name") << false << 0 << true;
    QTest::newRow("file onto file") << false << 1 << false;
    QTest::newRow("file onto directory") << false << 2 << false;
    QTest::newRow("directory to free name") << true << 0 << true;
    QTest::newRow("directory onto empty directory") << true << 2 << false;
    QTest::newRow("directory onto file") << true << 1 << false;
}

void TestFileSystem::renameNeverReplaces()
{
    QFETCH(bool, bSourceIsDirectory);
    QFETCH(int, nTarget);
    QFETCH(bool, bMoved);

    if (bSourceIsDirectory)
        QDir(m_pDir->path()).mkdir("source");
    else
        MakeFile("source", 7);
    if (nTarget == 1)
        MakeFile("target", 3);
    else if (nTarget == 2)
        QDir(m_pDir->path()).mkdir("target");

    const FileError error = CFileSystem::RenameNoReplace(Path("source"), Path("target"));
    QCOMPARE(error == FileError::None, bMoved);
    QCOMPARE(QFileInfo::exists(m_pDir->filePath("source")), !bMoved);
    if (!bMoved && nTarget == 1)
        QCOMPARE(QFileInfo(m_pDir->filePath("target")).size(), 3);
}

void TestFileSystem::listingSkipsDotEntriesAndKeepsDanglingLinks()
{
    MakeFile("a.txt", 3);
    MakeFile(".profile", 1);
    QDir(m_pDir->path()).mkdir("sub");
    QVERIFY(QFile::link(m_pDir->filePath("nowhere"), m_pDir->filePath("dangling")));

    std::vector<DirectoryEntry> entries;
    QCOMPARE(CFileSystem::ListDirectory(Path(""), entries), FileError::None);
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.strName < b.strName; });
    QCOMPARE(entries.size(), size_t(4));
    QCOMPARE(entries[0].strName, std::string(".profile"));
    QCOMPARE(entries[1].strName, std::string("a.txt"));
    QCOMPARE(entries[1].nSize, 3);
    QVERIFY(entries[1].bHasTime && !entries[1].bIsDirectory);
    QCOMPARE(entries[2].strName, std::string("dangling"));
    QVERIFY(!entries[2].bHasTime);
    QCOMPARE(entries[2].nSize, 0);
    QCOMPARE(entries[3].strName, std::string("sub"));
    QVERIFY(entries[3].bIsDirectory);

    QCOMPARE(CFileSystem::ListDirectory(Path("a.txt"), entries), FileError::NotDirectory);
    QVERIFY(entries.empty());
}

void TestFileSystem::realPathResolvesLinksAndRefusesDangling()
{
    QDir(m_pDir->path()).mkdir("real");
    QVERIFY(QFile::link(m_pDir->filePath("real"), m_pDir->filePath("link")));
    QVERIFY(QFile::link(m_pDir->filePath("nowhere"), m_pDir->filePath("dangling")));

    std::string real;
    QCOMPARE(CFileSystem::RealPath(Path("link"), real), FileError::None);
    std::string expected;
    QCOMPARE(CFileSystem::RealPath(Path("real"), expected), FileError::None);
    QCOMPARE(real, expected);
    QVERIFY(!real.ends_with('/'));
    QCOMPARE(CFileSystem::RealPath(Path("dangling"), real), FileError::NotFound);
    QVERIFY(real.empty());
    QVERIFY(CFileSystem::EntryExists(Path("dangling")));
    QCOMPARE(CFileSystem::Stat(Path("dangling")).kind, FileKind::Missing);
}

void TestFileSystem::pathWithNulNamesNothing()
{
    QDir(m_pDir->path()).mkdir("dir");
    const std::string withNul = Path("dir") + std::string("\0x", 2);
    QCOMPARE(CFileSystem::Stat(withNul).kind, FileKind::Missing);
    QVERIFY(!CFileSystem::EntryExists(withNul));
    QVERIFY(CFileSystem::RemoveDirectory(withNul) != FileError::None);
    QVERIFY(QFileInfo(m_pDir->filePath("dir")).isDir());
}

QTEST_GUILESS_MAIN(TestFileSystem)
#include "tst_file_system.moc"
