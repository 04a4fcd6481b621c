#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include <filesystem>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "row_name.h"
#include "temp_folder.h"
#include "test_link.h"

namespace fs = std::filesystem;

class FileSystem : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_Dir.Valid()); }

    std::string Path(const char* name) const { return m_Dir.PathOf(name); }
    std::filesystem::path Native(const char* name) const { return m_Dir.NativeOf(name); }
    void MakeFile(const char* name, int64_t nSize = 0);
    bool MakeDirectory(const char* name) const { return fs::create_directories(Native(name)); }
    bool MakeLink(const char* target, const char* name) const
    {
        return CTestLink::Make(Native(target), Native(name));
    }
    bool Exists(const char* name) const { return fs::exists(fs::symlink_status(Native(name))); }

    CTempFolder m_Dir;
};

void FileSystem::MakeFile(const char* name, int64_t nSize)
{
    std::ofstream file(Native(name), std::ios::binary);
    ASSERT_TRUE(file.is_open());
    file.close();
    std::error_code error;
    fs::resize_file(Native(name), static_cast<std::uintmax_t>(nSize), error);
    ASSERT_FALSE(error) << error.message();
}

TEST_F(FileSystem, StatReportsKindAndSixtyFourBitSize)
{
    constexpr int64_t kFiveGiB = 5LL * 1024 * 1024 * 1024;
    MakeFile("big", kFiveGiB); // sparse: takes no room on disk
    MakeDirectory("dir");

    const FileStatus file = CFileSystem::Stat(Path("big"));
    ASSERT_EQ(file.kind, FileKind::File);
    ASSERT_EQ(file.nSize, kFiveGiB);
    ASSERT_TRUE(file.nModified > 0);
    ASSERT_EQ(CFileSystem::Stat(Path("dir")).kind, FileKind::Directory);
    ASSERT_EQ(CFileSystem::Stat(Path("dir")).nSize, 0);
    ASSERT_EQ(CFileSystem::Stat(Path("missing")).kind, FileKind::Missing);
}

TEST_F(FileSystem, RemoveDirectoryLeavesContents)
{
    MakeDirectory("full/inner");
    ASSERT_EQ(CFileSystem::RemoveDirectory(Path("full")), FileError::NotEmpty);
    ASSERT_TRUE(Exists("full/inner"));
    ASSERT_EQ(CFileSystem::RemoveDirectory(Path("full/inner")), FileError::None);
    ASSERT_EQ(CFileSystem::RemoveDirectory(Path("full")), FileError::None);
    ASSERT_EQ(CFileSystem::RemoveDirectory(Path("full")), FileError::NotFound);
}

TEST_F(FileSystem, RemoveFileRefusesDirectory)
{
    MakeDirectory("dir");
    ASSERT_TRUE(CFileSystem::RemoveFile(Path("dir")) != FileError::None);
    ASSERT_TRUE(fs::is_directory(Native("dir")));
    MakeFile("file");
    ASSERT_EQ(CFileSystem::RemoveFile(Path("file")), FileError::None);
    ASSERT_TRUE(!Exists("file"));
}

struct RenameRow {
    const char* name;
    bool bSourceIsDirectory;
    int nTarget; // 0 none, 1 file, 2 directory
    bool bMoved;
};

const RenameRow kRenameRows[] = {
    {"file to free name", false, 0, true},
    {"file onto file", false, 1, false},
    {"file onto directory", false, 2, false},
    {"directory to free name", true, 0, true},
    {"directory onto empty directory", true, 2, false},
    {"directory onto file", true, 1, false},
};

class FileSystemRename : public FileSystem, public testing::WithParamInterface<RenameRow> {};

TEST_P(FileSystemRename, NeverReplaces)
{
    const auto& [name, bSourceIsDirectory, nTarget, bMoved] = GetParam();
    if (bSourceIsDirectory)
        MakeDirectory("source");
    else
        MakeFile("source", 7);
    if (nTarget == 1)
        MakeFile("target", 3);
    else if (nTarget == 2)
        MakeDirectory("target");

    const FileError error = CFileSystem::RenameNoReplace(Path("source"), Path("target"));
    ASSERT_EQ(error == FileError::None, bMoved);
    ASSERT_EQ(Exists("source"), !bMoved);
    if (!bMoved && nTarget == 1) {
        ASSERT_EQ(fs::file_size(Native("target")), 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(, FileSystemRename, testing::ValuesIn(kRenameRows), RowName());

TEST_F(FileSystem, ListingSkipsDotEntriesAndKeepsDanglingLinks)
{
    MakeFile("a.txt", 3);
    MakeFile(".profile", 1);
    MakeDirectory("sub");
    ASSERT_TRUE(MakeLink("nowhere", "dangling"));

    std::vector<DirectoryEntry> entries;
    ASSERT_EQ(CFileSystem::ListDirectory(Path(""), entries), FileError::None);
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.strName < b.strName; });
    ASSERT_EQ(entries.size(), size_t(4));
    ASSERT_EQ(entries[0].strName, std::string(".profile"));
    ASSERT_EQ(entries[1].strName, std::string("a.txt"));
    ASSERT_EQ(entries[1].nSize, 3);
    ASSERT_TRUE(entries[1].bHasTime && !entries[1].bIsDirectory);
    ASSERT_EQ(entries[2].strName, std::string("dangling"));
    ASSERT_TRUE(!entries[2].bHasTime);
    ASSERT_EQ(entries[2].nSize, 0);
    ASSERT_EQ(entries[3].strName, std::string("sub"));
    ASSERT_TRUE(entries[3].bIsDirectory);

    ASSERT_EQ(CFileSystem::ListDirectory(Path("a.txt"), entries), FileError::NotDirectory);
    ASSERT_TRUE(entries.empty());
}

TEST_F(FileSystem, RealPathResolvesLinksAndRefusesDangling)
{
    MakeDirectory("real");
    ASSERT_TRUE(MakeLink("real", "link"));
    ASSERT_TRUE(MakeLink("nowhere", "dangling"));

    std::string real;
    ASSERT_EQ(CFileSystem::RealPath(Path("link"), real), FileError::None);
    std::string expected;
    ASSERT_EQ(CFileSystem::RealPath(Path("real"), expected), FileError::None);
    ASSERT_EQ(real, expected);
    ASSERT_TRUE(!real.ends_with('/'));
    ASSERT_EQ(CFileSystem::RealPath(Path("dangling"), real), FileError::NotFound);
    ASSERT_TRUE(real.empty());
    ASSERT_TRUE(CFileSystem::EntryExists(Path("dangling")));
    ASSERT_EQ(CFileSystem::Stat(Path("dangling")).kind, FileKind::Missing);
}

TEST_F(FileSystem, PathWithNulNamesNothing)
{
    MakeDirectory("dir");
    const std::string withNul = Path("dir") + std::string("\0x", 2);
    ASSERT_EQ(CFileSystem::Stat(withNul).kind, FileKind::Missing);
    ASSERT_TRUE(!CFileSystem::EntryExists(withNul));
    ASSERT_TRUE(CFileSystem::RemoveDirectory(withNul) != FileError::None);
    ASSERT_TRUE(fs::is_directory(Native("dir")));
}

