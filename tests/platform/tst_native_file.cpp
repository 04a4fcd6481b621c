#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/native_file.h"
#include "row_name.h"
#include "temp_tree.h"

using Mode = CNativeFile::Mode;

class NativeFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(!m_Dir.Root().empty()); }

    std::string PathOf(const char* name) const { return m_Dir.PathOf(name); }
    void WriteFile(const char* name, const std::string& bytes) { ASSERT_TRUE(m_Dir.WriteFile(name, bytes)); }

    CTempTree m_Dir;
    COpenFileTable m_Table;
};

// Downloads share a file with each other; whatever writes shares it with
// nobody else who writes, and a download lets nobody write.
struct SharingRow {
    const char* name;
    Mode first;
    Mode second;
    bool bSecondOpens;
};

const SharingRow kSharingRows[] = {
    {"download, download", Mode::ReadDenyWrite, Mode::ReadDenyWrite, true},
    {"download, upload", Mode::ReadDenyWrite, Mode::WriteDenyWrite, false},
    {"upload, download", Mode::WriteDenyWrite, Mode::ReadDenyWrite, false},
    {"upload, upload", Mode::WriteDenyWrite, Mode::WriteDenyWrite, false},
};

class NativeFileSharing : public NativeFile, public testing::WithParamInterface<SharingRow> {};

TEST_P(NativeFileSharing, BetweenTransfers)
{
    const auto& [name, first, second, bSecondOpens] = GetParam();
    WriteFile("shared", "bytes");
    CNativeFile one;
    CNativeFile two;
    ASSERT_TRUE(one.Open(PathOf("shared"), first, m_Table));
    ASSERT_EQ(two.Open(PathOf("shared"), second, m_Table), bSecondOpens);
    // Another file is not affected.
    WriteFile("other", "bytes");
    ASSERT_TRUE(two.Open(PathOf("other"), second, m_Table));
}

INSTANTIATE_TEST_SUITE_P(, NativeFileSharing, testing::ValuesIn(kSharingRows), RowName());

TEST_F(NativeFile, ClosingReleasesTheFile)
{
    WriteFile("once", "bytes");
    {
        CNativeFile one;
        CNativeFile two;
        ASSERT_TRUE(one.Open(PathOf("once"), Mode::ReadDenyWrite, m_Table));
        ASSERT_TRUE(two.Open(PathOf("once"), Mode::ReadDenyWrite, m_Table));
        CNativeFile writer;
        // The file stays closed to writers until its last reader has left.
        one.Close();
        ASSERT_TRUE(!writer.Open(PathOf("once"), Mode::WriteDenyWrite, m_Table));
        two.Close();
        ASSERT_TRUE(writer.Open(PathOf("once"), Mode::WriteDenyWrite, m_Table));
    }
    // Destruction releases as well: the table is empty again.
    CNativeFile three;
    ASSERT_TRUE(three.Open(PathOf("once"), Mode::WriteDenyWrite, m_Table));
}

TEST_F(NativeFile, WriteOpenKeepsContentsAndCreatesMissing)
{
    WriteFile("kept", "0123456789");
    CNativeFile file;
    ASSERT_TRUE(file.Open(PathOf("kept"), Mode::WriteDenyWrite, m_Table));
    ASSERT_EQ(file.Length(), 10);
    ASSERT_TRUE(file.WriteAt(2, "ab", 2));
    char buffer[16] = {};
    CNativeFile reader;
    file.Close();
    ASSERT_TRUE(reader.Open(PathOf("kept"), Mode::ReadDenyWrite, m_Table));
    ASSERT_EQ(reader.ReadAt(0, buffer, sizeof(buffer)), 10);
    ASSERT_EQ(std::string(buffer, 10), std::string("01ab456789"));
    ASSERT_EQ(reader.ReadAt(10, buffer, sizeof(buffer)), 0);

    CNativeFile created;
    ASSERT_TRUE(created.Open(PathOf("new"), Mode::WriteDenyWrite, m_Table));
    ASSERT_EQ(created.Length(), 0);
}

TEST_F(NativeFile, RefusesDirectoriesAndMissingFiles)
{
    ASSERT_TRUE(std::filesystem::create_directory(m_Dir.LocalPath("folder")));
    CNativeFile file;
    ASSERT_TRUE(!file.Open(PathOf("folder"), Mode::ReadDenyWrite, m_Table));
    ASSERT_TRUE(!file.Open(PathOf("folder"), Mode::WriteDenyWrite, m_Table));
    ASSERT_TRUE(!file.Open(PathOf("missing"), Mode::ReadDenyWrite, m_Table));
    ASSERT_TRUE(!file.Open(PathOf("missing/below"), Mode::WriteDenyWrite, m_Table));
    ASSERT_TRUE(!file.IsOpen());
}

TEST_F(NativeFile, WorksPastFourGibibytes)
{
    const int64_t nFar = (int64_t(5) << 30) + 3;
    CNativeFile file;
    ASSERT_TRUE(file.Open(PathOf("sparse"), Mode::WriteDenyWrite, m_Table));
    ASSERT_TRUE(file.SetLength(nFar));
    ASSERT_TRUE(file.WriteAt(nFar, "tail", 4));
    ASSERT_EQ(file.Length(), nFar + 4);
    file.Close();
    ASSERT_TRUE(file.Open(PathOf("sparse"), Mode::ReadDenyWrite, m_Table));
    char buffer[8] = {};
    ASSERT_EQ(file.ReadAt(nFar - 1, buffer, sizeof(buffer)), 5);
    ASSERT_EQ(std::string(buffer, 5), std::string("\0tail", 5));
}

TEST_F(NativeFile, SetLengthRefusesNegative)
{
    CNativeFile file;
    ASSERT_TRUE(file.Open(PathOf("cut"), Mode::WriteDenyWrite, m_Table));
    ASSERT_TRUE(!file.SetLength(-1));
    ASSERT_TRUE(file.SetLength(3));
    ASSERT_EQ(file.Length(), 3);
}

