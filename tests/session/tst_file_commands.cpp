#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "escape_tree.h"
#include "ftp_test_client.h"
#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "row_name.h"
#include "session_harness.h"

namespace fs = std::filesystem;

namespace {

const std::string& Big5(Text text)
{
    return CTextTable::Big5(text);
}

std::string Pwd(const char* client)
{
    return CTextTable::Format(Text::ReplyPwd, client);
}

std::string Cwd(const char* client)
{
    return CTextTable::Format(Text::ReplyCwd, client);
}

// A made directory is answered with the code the protocol gives it, which
// strict clients check for; the text is the usual Big5 one.
constexpr char kMkdDone[] = "257 \xA5\xD8\xBF\xFD\xAB\xD8\xA5\xDF\xA7\xB9\xA6\xA8";

} // namespace

// The file and directory commands over a real control connection. Each test
// gets a fresh escape tree: the home "root", a sibling "root2" whose name
// begins with the home's, and "outside", reachable from the home through the
// link root/escape.
class FileCommands : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path Base(const std::string& relative) const { return m_pTree->Native(relative); }
    void MakeFile(const std::string& relative, int64_t nSize = 3);
    // Links count as what they lead to; a dangling one is nothing.
    bool Exists(const std::string& relative) const { return fs::exists(Base(relative)); }
    void LogIn();

    std::unique_ptr<CEscapeTree> m_pTree;
    std::unique_ptr<CSessionHarness> m_pHarness;
    std::unique_ptr<CFtpTestClient> m_pClient;
};

void FileCommands::SetUp()
{
    m_pTree = std::make_unique<CEscapeTree>();
    ASSERT_EQ(m_pTree->Unmade(), std::string());

    m_pHarness = std::make_unique<CSessionHarness>();
    CFakeSessionHost& host = m_pHarness->Host();
    host.SetHomeDirectory(CNativePath::SettingText(m_pTree->Home()));
    for (Right right : {Right::Delete, Right::CreateDir, Right::Rename})
        host.SetRight(right, 1);
    m_pClient = std::make_unique<CFtpTestClient>();
    ASSERT_TRUE(m_pClient->Connect(m_pHarness->Port()));
}

void FileCommands::TearDown()
{
    m_pClient.reset();
    m_pHarness.reset();
    m_pTree.reset();
}

void FileCommands::MakeFile(const std::string& relative, int64_t nSize)
{
    ASSERT_TRUE(std::ofstream(Base(relative), std::ios::binary).is_open());
    std::error_code error;
    fs::resize_file(Base(relative), static_cast<std::uintmax_t>(nSize), error);
    ASSERT_FALSE(error) << error.message();
}

void FileCommands::LogIn()
{
    ASSERT_TRUE(m_pClient->Login());
}

struct CwdRepliesAndPwdRow {
    const char* name;
    std::string start; // CWD argument that comes first
    std::string command;
    std::string reply;
    std::string pwd; // client form afterwards
};

const CwdRepliesAndPwdRow kCwdRepliesAndPwdRows[] = {
    {"no argument", "docs", "CWD", Cwd("/docs"), "/docs"},
    {"slash", "docs", "CWD /", Cwd("/"), "/"},
    {"backslash", "docs", "CWD \\", Cwd("/"), "/"},
    {"runs of slashes", "/", "CWD //photos///trip/", Cwd("/photos/trip"), "/photos/trip"},
    {"upper case becomes lower", "/", "CWD /PHOTOS", Cwd("/photos"), "/photos"},
    {"dots", "docs", "CWD sub/./.../", Cwd("/docs/sub"), "/docs/sub"},
    {"padded name", "/", "CWD .docs.", Cwd("/docs"), "/docs"},
    {"missing", "docs", "CWD nothere", Big5(Text::ReplyDirMissing), "/docs"},
    {"file", "/", "CWD Report.TXT", Big5(Text::ReplyDirMissing), "/"},
    {"above home", "/", "CWD ..", Big5(Text::ReplyDenied), "/"},
    {"far above home", "docs", "CWD ../../../../../../..", Big5(Text::ReplyDenied), "/docs"},
    {"sibling sharing home's name", "/", "CWD /../root2", Big5(Text::ReplyDenied), "/"},
    {"missing sibling", "/", "CWD /../root3", Big5(Text::ReplyDirMissing), "/"},
    {"back in from above", "/", "CWD ../root/docs", Cwd("/docs"), "/docs"},
    {"drive letter is a name", "/", "CWD C:\\docs", Big5(Text::ReplyDirMissing), "/"},
    {"invalid code page 950", "/", "CWD \xFF\xFF", Big5(Text::ReplyDirMissing), "/"},
};

class CwdRepliesAndPwd : public FileCommands, public testing::WithParamInterface<CwdRepliesAndPwdRow> {};

TEST_P(CwdRepliesAndPwd, Row)
{
    const auto& [name, start, command, reply, pwd] = GetParam();
    LogIn();
    ASSERT_TRUE(m_pClient->Command("CWD " + start).starts_with("250 "));
    ASSERT_EQ(m_pClient->Command(command), reply);
    ASSERT_EQ(m_pClient->Command("PWD"), Pwd(pwd.c_str()));
    ASSERT_EQ(m_pClient->Command("XPWD"), Pwd(pwd.c_str()));
}

INSTANTIATE_TEST_SUITE_P(FileCommands, CwdRepliesAndPwd, testing::ValuesIn(kCwdRepliesAndPwdRows), RowName());

TEST_F(FileCommands, CdupStopsAtHome)
{
    LogIn();
    ASSERT_EQ(m_pClient->Command("PWD"), Pwd("/"));
    ASSERT_EQ(m_pClient->Command("CWD docs/sub"), Cwd("/docs/sub"));
    ASSERT_EQ(m_pClient->Command("CDUP"), Cwd("/docs"));
    ASSERT_EQ(m_pClient->Command("CDUP"), Cwd("/"));
    ASSERT_EQ(m_pClient->Command("CDUP"), Big5(Text::ReplyDenied));
    ASSERT_EQ(m_pClient->Command("PWD"), Pwd("/"));
}

TEST_F(FileCommands, TrailByteDirectoryWorksAsCurrent)
{
    // 許 is B3 5C in code page 950: its second byte is a backslash.
    LogIn();
    ASSERT_EQ(m_pClient->Command("CWD /\xB3\x5C"), Cwd("/\xB3\x5C"));
    ASSERT_EQ(m_pClient->Command("CWD sub"), Cwd("/\xB3\x5C/sub"));
    ASSERT_EQ(m_pClient->Command("CDUP"), Cwd("/\xB3\x5C"));
    ASSERT_EQ(m_pClient->Command("PWD"), Pwd("/\xB3\x5C"));
}

TEST_F(FileCommands, SizeReportsSixtyFourBits)
{
    MakeFile("root/docs/Big.bin", 5368709120); // sparse
    LogIn();
    ASSERT_EQ(m_pClient->Command("SIZE /docs/big.bin"), "213 5368709120");
    ASSERT_EQ(m_pClient->Command("SIZE docs/a.txt"), "213 3");
    ASSERT_EQ(m_pClient->Command("SIZE docs"), Big5(Text::ReplyFileMissing));
    ASSERT_EQ(m_pClient->Command("SIZE nothere"), Big5(Text::ReplyFileMissing));
    ASSERT_EQ(m_pClient->Command("SIZE /../outside/secret.txt"), Big5(Text::ReplyDenied));
}

struct DeleRepliesRow {
    const char* name;
    std::string argument;
    std::string reply;
    std::string gone; // below base; empty when nothing goes
};

const DeleRepliesRow kDeleRepliesRows[] = {
    {"file as typed", "Docs/A.TXT", CTextTable::Format(Text::ReplyDeleted, "Docs/A.TXT"), "root/docs/a.txt"},
    {"directory", "docs", Big5(Text::ReplyFileMissing), ""},
    {"missing", "nothere", Big5(Text::ReplyFileMissing), ""},
    {"outside", "/../outside/secret.txt", Big5(Text::ReplyDenied), ""},
    {"missing outside", "/../outside/none", Big5(Text::ReplyFileMissing), ""},
};

class DeleReplies : public FileCommands, public testing::WithParamInterface<DeleRepliesRow> {};

TEST_P(DeleReplies, Row)
{
    const auto& [name, argument, reply, gone] = GetParam();
    LogIn();
    ASSERT_EQ(m_pClient->Command("DELE " + argument), reply);
    if (!gone.empty()) {
        ASSERT_TRUE(!Exists(gone));
    }
    ASSERT_TRUE(Exists("outside/secret.txt"));
    ASSERT_TRUE(Exists("root/docs"));
}

INSTANTIATE_TEST_SUITE_P(FileCommands, DeleReplies, testing::ValuesIn(kDeleRepliesRows), RowName());

TEST_F(FileCommands, DeleFailureNamesArgument)
{
    // A file that cannot be removed. On Linux a read-only directory for an
    // ordinary user and an immutable one for root, who ignores permissions;
    // on Windows a read-only file, which nobody may delete.
#ifdef _WIN32
    const bool bRoot = false;
    const fs::path locked = Base("root/docs/a.txt");
    const auto setImmutable = [](char) { return false; };
    constexpr fs::perms kLocked = fs::perms::owner_read;
#else
    const bool bRoot = geteuid() == 0;
    const fs::path locked = Base("root/docs");
    const std::string chattr = "chattr %si '" + locked.string() + "' >/dev/null 2>&1";
    const auto setImmutable = [&](char sign) {
        std::string command = chattr;
        command.replace(command.find("%s"), 2, 1, sign);
        return std::system(command.c_str()) == 0;
    };
    constexpr fs::perms kLocked = fs::perms::owner_read | fs::perms::owner_exec;
#endif
    const auto setPermissions = [&](fs::perms permissions) {
        std::error_code error;
        fs::permissions(locked, permissions, error);
        return !error;
    };
    const bool bLocked = bRoot ? setImmutable('+') : setPermissions(kLocked);
    if (!bLocked)
        GTEST_SKIP() << "cannot make a file that cannot be deleted";
    LogIn();
    const std::string reply = m_pClient->Command("DELE docs/a.txt");
    if (bRoot)
        setImmutable('-');
    else
        setPermissions(fs::perms::owner_all);
    ASSERT_EQ(reply, CTextTable::Format(Text::ReplyDeleteFailed, "docs/a.txt"));
    ASSERT_TRUE(Exists("root/docs/a.txt"));
}

struct RmdRepliesRow {
    const char* name;
    std::string verb;
    std::string argument;
    std::string reply;
    std::string gone;
};

const RmdRepliesRow kRmdRepliesRows[] = {
    {"empty directory", "RMD", "Empty", CTextTable::Format(Text::ReplyRmdDone, "Empty"), "root/empty"},
    {"XRMD", "XRMD", "/empty/", CTextTable::Format(Text::ReplyRmdDone, "/empty/"), "root/empty"},
    {"not empty", "RMD", "full", CTextTable::Format(Text::ReplyRmdFailed, "full"), ""},
    {"file", "RMD", "Report.TXT", Big5(Text::ReplyDirMissing), ""},
    {"missing", "RMD", "nothere", Big5(Text::ReplyDirMissing), ""},
    {"outside", "RMD", "/../outside/emptydir", Big5(Text::ReplyRmdDenied), ""},
    {"sibling", "RMD", "/../root2", Big5(Text::ReplyRmdDenied), ""},
};

class RmdReplies : public FileCommands, public testing::WithParamInterface<RmdRepliesRow> {};

TEST_P(RmdReplies, Row)
{
    const auto& [name, verb, argument, reply, gone] = GetParam();
    LogIn();
    ASSERT_EQ(m_pClient->Command(verb + ' ' + argument), reply);
    if (!gone.empty()) {
        ASSERT_TRUE(!Exists(gone));
    }
    for (const char* kept : {"root/full/inner", "root/Report.TXT", "outside/emptydir", "root2"})
        ASSERT_TRUE(Exists(kept));
}

INSTANTIATE_TEST_SUITE_P(FileCommands, RmdReplies, testing::ValuesIn(kRmdRepliesRows), RowName());

TEST_F(FileCommands, RmdKeepsHome)
{
    // A home that is empty passes every other check; it must stay all the same.
    const std::string emptyHome = CNativePath::SettingText(CNativePath::ProgramPath(fs::canonical(Base("root/empty"))));
    m_pHarness->Host().SetHomeDirectory(emptyHome);
    LogIn();
    ASSERT_EQ(m_pClient->Command("RMD /"), Big5(Text::ReplyDenied));
    ASSERT_EQ(m_pClient->Command("RMD ."), Big5(Text::ReplyDenied));
    ASSERT_EQ(m_pClient->Command("XRMD ../empty"), Big5(Text::ReplyDenied));
    ASSERT_TRUE(Exists("root/empty"));
}

struct MkdRepliesRow {
    const char* name;
    std::string argument;
    std::string reply;
    std::string made;
};

const MkdRepliesRow kMkdRepliesRows[] = {
    {"new", "NewDir", std::string(kMkdDone), "root/NewDir"},
    {"new under lower-cased parent", "/photos/Summer", Big5(Text::ReplyMkdDone), "root/Photos/Summer"},
    {"existing", "DOCS", Big5(Text::ReplyDirExists), ""},
    {"name of a file", "Report.TXT", Big5(Text::ReplyMkdFailed), ""},
    {"outside", "/../made-outside", Big5(Text::ReplyDenied), ""},
    {"existing outside", "/../root2", Big5(Text::ReplyDirExists), ""},
};

class MkdReplies : public FileCommands, public testing::WithParamInterface<MkdRepliesRow> {};

TEST_P(MkdReplies, Row)
{
    const auto& [name, argument, reply, made] = GetParam();
    LogIn();
    ASSERT_EQ(m_pClient->Command("MKD " + argument), reply);
    if (!made.empty()) {
        ASSERT_TRUE(fs::is_directory(Base(made)));
    }
    ASSERT_TRUE(!Exists("made-outside"));
    ASSERT_TRUE(fs::is_regular_file(Base("root/Report.TXT")));
}

INSTANTIATE_TEST_SUITE_P(FileCommands, MkdReplies, testing::ValuesIn(kMkdRepliesRows), RowName());

TEST_F(FileCommands, MkdCreatesMissingParents)
{
    LogIn();
    ASSERT_EQ(m_pClient->Command("XMKD a/b/c"), std::string(kMkdDone));
    ASSERT_TRUE(fs::is_directory(Base("root/a/b/c")));
    ASSERT_EQ(m_pClient->Command("MKD docs/a.txt/z"), Big5(Text::ReplyMkdFailed));
    // The last step fails on a name too long; the parents made before it stay.
    ASSERT_EQ(m_pClient->Command("MKD x/y/" + std::string(300, 'n')), Big5(Text::ReplyMkdFailed));
    ASSERT_TRUE(fs::is_directory(Base("root/x/y")));
}

TEST_F(FileCommands, RenameStateTable)
{
    LogIn();
    ASSERT_EQ(m_pClient->Command("RNTO new.txt"), Big5(Text::ReplyRntoWithoutRnfr));
    ASSERT_EQ(m_pClient->Command("RNFR Report.TXT"), Big5(Text::ReplyRnfrFile));
    // A refused RNFR and other commands leave the pending rename alone.
    ASSERT_EQ(m_pClient->Command("RNFR nothere"), Big5(Text::ReplyRnfrMissing));
    ASSERT_EQ(m_pClient->Command("CWD docs"), Cwd("/docs"));
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    ASSERT_EQ(m_pClient->Command("RNTO /New.txt"), CTextTable::Format(Text::ReplyRenamedFile, "/report.txt"));
    ASSERT_TRUE(Exists("root/New.txt"));
    ASSERT_TRUE(!Exists("root/Report.TXT"));
    ASSERT_EQ(m_pClient->Command("RNTO again.txt"), Big5(Text::ReplyRntoWithoutRnfr));

    ASSERT_EQ(m_pClient->Command("RNFR /Photos"), Big5(Text::ReplyRnfrDir));
    ASSERT_EQ(m_pClient->Command("RNTO sub/Pictures"), CTextTable::Format(Text::ReplyRenamedDir, "/photos"));
    ASSERT_TRUE(fs::is_directory(Base("root/docs/sub/Pictures/Trip")));
}

TEST_F(FileCommands, RntoRefusalsKeepRenamePending)
{
    MakeFile("root/other.txt");
    LogIn();
    ASSERT_EQ(m_pClient->Command("RNFR report.txt"), Big5(Text::ReplyRnfrFile));
    ASSERT_EQ(m_pClient->Command("RNTO Other.TXT"), Big5(Text::ReplyFileExists));
    ASSERT_EQ(m_pClient->Command("RNTO /../root2/moved.txt"), Big5(Text::ReplyDenied));
    ASSERT_EQ(m_pClient->Command("RNTO escape/moved.txt"), Big5(Text::ReplyDenied));
    ASSERT_EQ(m_pClient->Command("RNTO docs/moved.txt"), CTextTable::Format(Text::ReplyRenamedFile, "/report.txt"));
    ASSERT_TRUE(Exists("root/docs/moved.txt"));
    ASSERT_TRUE(!Exists("root2/moved.txt"));
    ASSERT_TRUE(!Exists("outside/moved.txt"));

    ASSERT_EQ(m_pClient->Command("RNFR docs"), Big5(Text::ReplyRnfrDir));
    ASSERT_EQ(m_pClient->Command("RNTO photos"), Big5(Text::ReplyDirExists));
    ASSERT_EQ(m_pClient->Command("RNTO documents"), CTextTable::Format(Text::ReplyRenamedDir, "/docs"));
    ASSERT_TRUE(Exists("root/documents/moved.txt"));
}

TEST_F(FileCommands, MoveNeverReplacesOtherKind)
{
    LogIn();
    ASSERT_EQ(m_pClient->Command("RNFR Report.TXT"), Big5(Text::ReplyRnfrFile));
    ASSERT_EQ(m_pClient->Command("RNTO empty"), CTextTable::Format(Text::ReplyRenameFileFailed, "/report.txt"));
    ASSERT_EQ(m_pClient->Command("RNTO x"), Big5(Text::ReplyRntoWithoutRnfr)); // a tried move ends the rename
    ASSERT_EQ(m_pClient->Command("RNFR empty"), Big5(Text::ReplyRnfrDir));
    ASSERT_EQ(m_pClient->Command("RNTO Report.TXT"), CTextTable::Format(Text::ReplyRenameDirFailed, "/empty"));
    ASSERT_TRUE(fs::is_regular_file(Base("root/Report.TXT")));
    ASSERT_TRUE(fs::is_directory(Base("root/empty")));
    // A source gone since RNFR fails the move.
    ASSERT_EQ(m_pClient->Command("RNFR docs/a.txt"), Big5(Text::ReplyRnfrFile));
    ASSERT_TRUE(fs::remove(Base("root/docs/a.txt")));
    ASSERT_EQ(m_pClient->Command("RNTO b.txt"), CTextTable::Format(Text::ReplyRenameFileFailed, "/docs/a.txt"));
}

struct RnfrRefusesHomeAndOutsideRow {
    const char* name;
    std::string argument;
};

const RnfrRefusesHomeAndOutsideRow kRnfrRefusesHomeAndOutsideRows[] = {
    {"home", "/"},
    {"home by dot", "."},
    {"existing outside", "/../root2"},
    {"missing outside", "/../nothere"},
    {"through link out", "escape/secret.txt"},
    {"invalid code page 950", "\xFF\xFF"},
};

class RnfrRefusesHomeAndOutside : public FileCommands, public testing::WithParamInterface<RnfrRefusesHomeAndOutsideRow> {};

TEST_P(RnfrRefusesHomeAndOutside, Row)
{
    const auto& [name, argument] = GetParam();
    LogIn();
    ASSERT_EQ(m_pClient->Command("RNFR " + argument), Big5(Text::ReplyDenied));
    ASSERT_EQ(m_pClient->Command("RNTO elsewhere"), Big5(Text::ReplyRntoWithoutRnfr));
}

INSTANTIATE_TEST_SUITE_P(FileCommands, RnfrRefusesHomeAndOutside, testing::ValuesIn(kRnfrRefusesHomeAndOutsideRows), RowName());

struct LinkOutOfHomeRefusedByEveryCommandRow {
    const char* name;
    std::string command;
    std::string reply;
};

const LinkOutOfHomeRefusedByEveryCommandRow kLinkOutOfHomeRefusedByEveryCommandRows[] = {
    {"CWD", "CWD escape", Big5(Text::ReplyDenied)},
    {"CWD below", "CWD /escape/emptydir", Big5(Text::ReplyDenied)},
    {"SIZE", "SIZE escape/secret.txt", Big5(Text::ReplyDenied)},
    {"DELE", "DELE escape/secret.txt", Big5(Text::ReplyDenied)},
    {"RMD", "RMD escape/emptydir", Big5(Text::ReplyRmdDenied)},
    {"MKD", "MKD escape/new", Big5(Text::ReplyDenied)},
    {"MKD deeper", "MKD escape/new/deeper", Big5(Text::ReplyDenied)},
    {"RNFR", "RNFR escape/secret.txt", Big5(Text::ReplyDenied)},
    {"RNFR link's directory", "RNFR ESCAPE/emptydir", Big5(Text::ReplyDenied)},
};

class LinkOutOfHomeRefusedByEveryCommand : public FileCommands, public testing::WithParamInterface<LinkOutOfHomeRefusedByEveryCommandRow> {};

TEST_P(LinkOutOfHomeRefusedByEveryCommand, Row)
{
    const auto& [name, command, reply] = GetParam();
    LogIn();
    ASSERT_EQ(m_pClient->Command(command), reply);
    ASSERT_EQ(CEscapeTree::NamesIn(m_pTree->Local("outside")), CEscapeTree::ListedIn("outside"));
    ASSERT_EQ(m_pClient->Command("PWD"), Pwd("/"));
}

INSTANTIATE_TEST_SUITE_P(FileCommands, LinkOutOfHomeRefusedByEveryCommand, testing::ValuesIn(kLinkOutOfHomeRefusedByEveryCommandRows), RowName());

struct RightsOffRefuseBeforeAnythingRow {
    const char* name;
    int right;
    std::string command;
};

const RightsOffRefuseBeforeAnythingRow kRightsOffRefuseBeforeAnythingRows[] = {
    {"DELE", int(Right::Delete), "DELE Report.TXT"},
    {"RMD", int(Right::Delete), "RMD empty"},
    {"XRMD", int(Right::Delete), "XRMD empty"},
    {"MKD", int(Right::CreateDir), "MKD fresh"},
    {"XMKD", int(Right::CreateDir), "XMKD fresh"},
    {"RNFR", int(Right::Rename), "RNFR Report.TXT"},
    {"RNTO", int(Right::Rename), "RNTO renamed.txt"},
};

class RightsOffRefuseBeforeAnything : public FileCommands, public testing::WithParamInterface<RightsOffRefuseBeforeAnythingRow> {};

TEST_P(RightsOffRefuseBeforeAnything, Row)
{
    const auto& [name, right, command] = GetParam();
    LogIn();
    ASSERT_EQ(m_pClient->Command("RNFR docs/a.txt"), Big5(Text::ReplyRnfrFile));
    m_pHarness->Host().SetRight(static_cast<Right>(right), 0);
    ASSERT_EQ(m_pClient->Command(command), Big5(Text::ReplyNoRight));
    ASSERT_TRUE(Exists("root/Report.TXT") && Exists("root/empty") && !Exists("root/fresh"));
    // The rename that was pending before is still there once the right is back.
    m_pHarness->Host().SetRight(static_cast<Right>(right), 1);
    ASSERT_EQ(m_pClient->Command("RNTO /moved.txt"), CTextTable::Format(Text::ReplyRenamedFile, "/docs/a.txt"));
}

INSTANTIATE_TEST_SUITE_P(FileCommands, RightsOffRefuseBeforeAnything, testing::ValuesIn(kRightsOffRefuseBeforeAnythingRows), RowName());

TEST_F(FileCommands, EmptyHomeLeavesNothingUsable)
{
    m_pHarness->Host().SetHomeDirectory(std::string());
    LogIn();
    ASSERT_EQ(m_pClient->Command("PWD"), Pwd("/"));
    ASSERT_EQ(m_pClient->Command("CWD /"), Big5(Text::ReplyDirMissing));
    ASSERT_EQ(m_pClient->Command("CWD /tmp"), Big5(Text::ReplyDirMissing));
    ASSERT_EQ(m_pClient->Command("MKD /tmp/x"), Big5(Text::ReplyDenied));
    ASSERT_EQ(m_pClient->Command("RNFR /tmp"), Big5(Text::ReplyDenied));
}
