#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "eventually.h"
#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "resource_baseline.h"
#include "row_name.h"
#include "running_server.h"
#include "temp_folder.h"
#include "transfer_fixture.h"

namespace {

constexpr int64_t kBigFile = 64LL * 1024 * 1024;
constexpr int64_t kFullFileSystem = 256 * 1024;

namespace fs = std::filesystem;

const std::string& Big5(Text text)
{
    return CTextTable::Big5(text);
}

// 0 for what is missing, as for an empty file.
int64_t FileSize(const fs::path& path)
{
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    return error ? 0 : static_cast<int64_t>(size);
}

} // namespace

// Set up once for the program, before the first test: what the process held
// before any server, and a tiny file system of its own, mounted where only
// this process sees it.
class FaultsEnvironment : public testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    static std::unique_ptr<CResourceBaseline> s_pIdle;
    static std::unique_ptr<CTempFolder> s_pFullRoot;
    static std::string s_strNoFullFileSystem;
};

std::unique_ptr<CResourceBaseline> FaultsEnvironment::s_pIdle;
std::unique_ptr<CTempFolder> FaultsEnvironment::s_pFullRoot;
std::string FaultsEnvironment::s_strNoFullFileSystem;
testing::Environment* const kFaultsEnvironment = testing::AddGlobalTestEnvironment(new FaultsEnvironment);

class Faults : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<CRunningServer> m_pServer;
    std::unique_ptr<CFtpTestClient> m_pClient;
    std::unique_ptr<CResourceBaseline> m_pBaseline;
};

void FaultsEnvironment::SetUp()
{
    s_pFullRoot = std::make_unique<CTempFolder>();
    // Mounting needs root, and a mount namespace can only be entered while
    // this process has a single thread, so it is made before any session
    // and before the baseline, which may start a thread.
#ifdef _WIN32
    s_strNoFullFileSystem = "no small file system can be mounted on Windows";
#else
    if (::geteuid() != 0)
        s_strNoFullFileSystem = "needs root to mount a small file system";
    else if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        s_strNoFullFileSystem = "cannot make a private mount namespace";
    else if (::mount("tessel-full", s_pFullRoot->Path().c_str(), "tmpfs", 0,
                     ("size=" + std::to_string(kFullFileSystem)).c_str())
             != 0)
        s_strNoFullFileSystem = "cannot mount a small file system";
#endif
    s_pIdle = std::make_unique<CResourceBaseline>();
}

void FaultsEnvironment::TearDown()
{
#ifndef _WIN32
    if (s_strNoFullFileSystem.empty())
        ::umount2(s_pFullRoot->Path().c_str(), MNT_DETACH);
#endif
    s_pFullRoot.reset();
    s_pIdle.reset();
}

void Faults::SetUp()
{
    m_pServer = std::make_unique<CRunningServer>();
    ASSERT_TRUE(m_pServer->ServesFreshClient());
    ASSERT_EQ_EVENTUALLY(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    // The visit's session thread is gone for good, not only out of the registry.
    ASSERT_EQ(FaultsEnvironment::s_pIdle->WaitUntilBack(CResourceBaseline::Held::Threads, CTestSocket::kDeadlineMs), std::string());
    m_pBaseline = std::make_unique<CResourceBaseline>();
    m_pClient = m_pServer->NewClient();
    ASSERT_TRUE(m_pClient);
}

void Faults::TearDown()
{
    // A set-up that failed half-way has been reported; what it left unmade
    // is not checked again.
    if (!m_pBaseline)
        return;
    // Whatever the fault, the server goes on serving and gives back what the
    // faulty session held.
    ASSERT_TRUE(m_pServer->ServesFreshClient());
    m_pClient.reset();
    ASSERT_EQ_EVENTUALLY(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    ASSERT_EQ(m_pBaseline->WaitUntilBack(CResourceBaseline::Held::ThreadsAndFiles, CTestSocket::kDeadlineMs), std::string());
    m_pServer.reset();
}

struct BrokenDataConnectionEndsOnlyTheTransferRow {
    const char* name;
    bool bUpload;
    bool bReset;
};

const BrokenDataConnectionEndsOnlyTheTransferRow kBrokenDataConnectionEndsOnlyTheTransferRows[] = {
    {"download, data connection reset", false, true},
    {"download, data connection closed", false, false},
    {"upload, data connection reset", true, true},
};

class BrokenDataConnectionEndsOnlyTheTransfer : public Faults, public testing::WithParamInterface<BrokenDataConnectionEndsOnlyTheTransferRow> {};

TEST_P(BrokenDataConnectionEndsOnlyTheTransfer, Row)
{
    const auto& [name, bUpload, bReset] = GetParam();
    ASSERT_TRUE(m_pServer->MakeSparseFile("big.bin", kBigFile));
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    if (bUpload) {
        ASSERT_EQ(m_pClient->Command("STOR part.bin"), Big5(Text::ReplyStorStart));
        ASSERT_TRUE(m_pClient->WriteAll(data.Get(), std::string(100000, 'u')));
        ASSERT_EVENTUALLY(FileSize(m_pServer->LocalPath("part.bin")) == 100000, CTestSocket::kDeadlineMs);
    } else {
        ASSERT_EQ(m_pClient->Command("RETR big.bin"), Big5(Text::ReplyRetrStart));
        ASSERT_TRUE(m_pClient->ReadAtLeast(data.Get(), 100000));
    }
    if (bReset)
        CTestSocket::Reset(data);
    else
        data.Reset();
    // A broken transfer is never reported as done, and the session goes on.
    ASSERT_EQ(m_pClient->ReadLine(5000), Big5(Text::ReplyTransferAborted));
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    if (bUpload) {
        ASSERT_EQ(FileSize(m_pServer->LocalPath("part.bin")), 100000);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, BrokenDataConnectionEndsOnlyTheTransfer, testing::ValuesIn(kBrokenDataConnectionEndsOnlyTheTransferRows), RowName());

struct ResetControlConnectionEndsTheSessionRow {
    const char* name;
    std::string command;
};

const ResetControlConnectionEndsTheSessionRow kResetControlConnectionEndsTheSessionRows[] = {
    {"during a download", "RETR big.bin"},
    {"during an upload", "STOR new.bin"},
    {"while the data connection is awaited", "LIST"},
};

class ResetControlConnectionEndsTheSession : public Faults, public testing::WithParamInterface<ResetControlConnectionEndsTheSessionRow> {};

TEST_P(ResetControlConnectionEndsTheSession, Row)
{
    const auto& [name, command] = GetParam();
    ASSERT_TRUE(m_pServer->MakeSparseFile("big.bin", kBigFile));
    const bool bAwaited = command == "LIST";
    CUniqueSocket data;
    if (bAwaited)
        ASSERT_TRUE(m_pClient->Command("PASV").starts_with("227 "));
    else
        data = m_pClient->OpenPassive();
    ASSERT_TRUE(m_pClient->Command(command).starts_with("150 "));
    if (command.starts_with("STOR")) {
        ASSERT_TRUE(m_pClient->WriteAll(data.Get(), std::string(50000, 's')));
    }
    m_pClient->Reset();
    ASSERT_EQ_EVENTUALLY(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    // The session took its data connection with it.
    if (data.Valid())
        m_pClient->ReadAll(data.Get(), 5000);
}

INSTANTIATE_TEST_SUITE_P(Faults, ResetControlConnectionEndsTheSession, testing::ValuesIn(kResetControlConnectionEndsTheSessionRows), RowName());

struct DataConnectionNeverUsedRow {
    const char* name;
    std::string ending;
};

const DataConnectionNeverUsedRow kDataConnectionNeverUsedRows[] = {
    {"client quits", "QUIT"},
    {"another PASV replaces it", "PASV"},
    {"client goes away", std::string()},
};

class DataConnectionNeverUsed : public Faults, public testing::WithParamInterface<DataConnectionNeverUsedRow> {};

TEST_P(DataConnectionNeverUsed, Row)
{
    const auto& [name, ending] = GetParam();
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    if (ending == "QUIT") {
        ASSERT_EQ(m_pClient->Command("QUIT"), Big5(Text::ReplyBye));
        ASSERT_TRUE(m_pClient->WaitClosed());
    } else if (ending == "PASV") {
        ASSERT_TRUE(m_pClient->Command("PASV").starts_with("227 "));
        ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    } else {
        m_pClient->Close();
    }
    // Whichever way, the server lets go of the unused connection.
    ASSERT_EQ(m_pClient->ReadAll(data.Get(), 5000), std::string());
}

INSTANTIATE_TEST_SUITE_P(Faults, DataConnectionNeverUsed, testing::ValuesIn(kDataConnectionNeverUsedRows), RowName());

TEST_F(Faults, UploadIntoFullFileSystemKeepsPartialFile)
{
    if (!FaultsEnvironment::s_strNoFullFileSystem.empty())
        GTEST_SKIP() << FaultsEnvironment::s_strNoFullFileSystem;
    m_pServer->SetHome(FaultsEnvironment::s_pFullRoot->Path());
    ASSERT_EQ(m_pClient->Command("PASS again"), Big5(Text::ReplyLoggedIn));
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->Command("STOR huge.bin"), Big5(Text::ReplyStorStart));
    // The server stops reading once the disk is full; what is not taken does not matter.
    m_pClient->WriteAll(data.Get(), std::string(4 * kFullFileSystem, 'f'));
    ASSERT_EQ(m_pClient->ReadLine(5000), Big5(Text::ReplyFileAccess));
    data.Reset();
    const int64_t nKept = FileSize(FaultsEnvironment::s_pFullRoot->NativeOf("huge.bin"));
    ASSERT_TRUE(nKept > 0 && nKept <= kFullFileSystem) << nKept;
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    ASSERT_EQ(m_pClient->Command("DELE huge.bin"), CTextTable::Format(Text::ReplyDeleted, "huge.bin"));
}

// Windows has no named pipes among files, and no other program may shrink a
// file that a download holds open.
#ifndef _WIN32
struct UnreadableDownloadIsAbortedRow {
    const char* name;
    bool bShrinks;
};

const UnreadableDownloadIsAbortedRow kUnreadableDownloadIsAbortedRows[] = {
    {"a pipe, not a file", false},
    {"a file that shrinks under the download", true},
};

class UnreadableDownloadIsAborted : public Faults, public testing::WithParamInterface<UnreadableDownloadIsAbortedRow> {};

TEST_P(UnreadableDownloadIsAborted, Row)
{
    const auto& [name, bShrinks] = GetParam();
    // Permission bits do not stop root; what makes reading fail is a name
    // that is not a regular file, or bytes that are gone when their turn comes.
    if (bShrinks)
        ASSERT_TRUE(m_pServer->MakeSparseFile("file.bin", kBigFile));
    else
        ASSERT_EQ(::mkfifo(m_pServer->LocalPath("file.bin").c_str(), 0600), 0);
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->Command("RETR file.bin"), Big5(Text::ReplyRetrStart));
    if (bShrinks) {
        ASSERT_TRUE(m_pClient->ReadAtLeast(data.Get(), 100000));
        ASSERT_TRUE(::truncate(m_pServer->LocalPath("file.bin").c_str(), 200000) == 0);
    }
    const std::string received = m_pClient->ReadAll(data.Get(), 10000);
    data.Reset();
    ASSERT_EQ(m_pClient->ReadLine(5000), Big5(Text::ReplyTransferAborted));
    ASSERT_TRUE(received.size() < kBigFile);
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

INSTANTIATE_TEST_SUITE_P(Faults, UnreadableDownloadIsAborted, testing::ValuesIn(kUnreadableDownloadIsAbortedRows), RowName());
#endif

TEST_F(Faults, VanishedCurrentFolderKeepsSessionSane)
{
    ASSERT_TRUE(fs::create_directories(m_pServer->LocalPath("gone")));
    ASSERT_EQ(m_pClient->Command("CWD gone"), CTextTable::Format(Text::ReplyCwd, "/gone"));
    ASSERT_TRUE(fs::remove(m_pServer->LocalPath("gone")));

    ASSERT_EQ(m_pClient->Command("PWD"), CTextTable::Format(Text::ReplyPwd, "/gone"));
    ASSERT_EQ(m_pClient->Command("LIST"), Big5(Text::ReplyListMissing));
    ASSERT_EQ(m_pClient->Command("RETR a.txt"), Big5(Text::ReplyFileMissing));
    ASSERT_EQ(m_pClient->Command("CWD sub"), Big5(Text::ReplyDirMissing));
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->Command("STOR a.txt"), Big5(Text::ReplyStorStart));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyFileAccess));
    data.Reset();
    ASSERT_TRUE(!fs::exists(m_pServer->LocalPath("gone")));
    ASSERT_EQ(m_pClient->Command("CDUP"), CTextTable::Format(Text::ReplyCwd, "/"));
    ASSERT_EQ(m_pClient->Command("PWD"), CTextTable::Format(Text::ReplyPwd, "/"));
}

