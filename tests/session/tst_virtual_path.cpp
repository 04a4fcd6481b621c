#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "escape_tree.h"
#include "row_name.h"
#include "session/virtual_path.h"
#include "test_link.h"

// Everything lives in the escape tree's base: the home "root", a sibling
// "root2" whose name begins with the home's, "outside", and links between.
class VirtualPath : public testing::Test {
protected:
    void SetUp() override;

    std::string Local(const std::string& relative) const { return m_Tree.Local(relative); }
    // A home as the settings give it.
    static std::string HomeText(const std::string& path) { return CNativePath::SettingText(path); }

    CEscapeTree m_Tree;
    std::string m_strBase;
};

void VirtualPath::SetUp()
{
    ASSERT_EQ(m_Tree.Unmade(), std::string());
    m_strBase = m_Tree.Base();
}

// A colon in a name is a name's on Linux; on Windows it names a drive or a
// stream, which no path inside the home holds.
#ifdef _WIN32
constexpr bool kColonsInNames = false;
#else
constexpr bool kColonsInNames = true;
#endif

struct MapsClientPathsRow {
    const char* name;
    std::string current;  // below base
    std::string argument; // code page 950, as the client sends it
    std::string expected; // below base; "." base, "/" the file system's top, "" nothing
    bool bInside;
};

const MapsClientPathsRow kMapsClientPathsRows[] = {
    {"empty argument keeps current", "root/docs", std::string(), "root/docs", true},
    {"slash is home", "root/docs", "/", "root", true},
    {"backslash is home", "root/docs", "\\", "root", true},
    {"runs of slashes", "root/docs", "//Photos///Trip/", "root/Photos/Trip", true},
    {"backslashes", "root", "\\docs\\\\sub\\", "root/docs/sub", true},
    {"dot vanishes", "root/docs", "sub/./x", "root/docs/sub/x", true},
    {"three dots vanish", "root/docs", "sub/.../x", "root/docs/sub/x", true},
    {"leading dots trimmed", "root/docs", ".hidden", "root/docs/hidden", true},
    {"trailing dots trimmed", "root/docs", "notes.", "root/docs/notes", true},
    {"dot dot inside", "root/docs/sub", "../..", "root", true},
    {"dot dot at home", "root", "..", ".", false},
    {"dot dot above top", "root", "/../../../../../../../../../../..", "/", false},
    {"sibling with home's name", "root", "/../root2/x", "root2/x", false},
    {"back in through parent", "root", "../root/docs", "root/docs", true},
    {"drive letter is a name", "root", "C:/x", "root/C:/x", kColonsInNames},
    {"drive letter after slash", "root", "/C:\\Windows", "root/C:/Windows", kColonsInNames},
    {"case differs", "root", "/photos/TRIP", "root/Photos/Trip", true},
    {"new names keep their case", "root", "photos/NewDir/Sub", "root/Photos/NewDir/Sub", true},
    {"lower-cased file", "root", "report.txt", "root/Report.TXT", true},
    {"trail byte backslash as current", "root/\xE8\xA8\xB1", "sub", "root/\xE8\xA8\xB1/sub", true},
    {"trail byte backslash in argument", "root", "/\xB3\x5C\\sub", "root/\xE8\xA8\xB1/sub", true},
    {"link out of home", "root", "/escape", "root/escape", false},
    {"below link out of home", "root", "escape/secret", "root/escape/secret", false},
    {"new name below link out", "root", "escape/new", "root/escape/new", false},
    {"link inside home", "root", "inlink/sub", "root/inlink/sub", true},
    {"dangling link", "root", "dangling", "root/dangling", false},
    {"below dangling link", "root", "dangling/new", "root/dangling/new", false},
    {"outside link into home", "root", "../docs-from-outside", "docs-from-outside", false},
    {"invalid code page 950", "root", "/docs/\xFF\xFF", "", false},
    {"truncated double byte", "root", "docs\xA4", "", false},
    {"nul byte", "root", std::string("docs\0/../..", 11), "", false},
};

class MapsClientPaths : public VirtualPath, public testing::WithParamInterface<MapsClientPathsRow> {};

TEST_P(MapsClientPaths, Row)
{
    const auto& [name, current, argument, expected, bInside] = GetParam();
    CVirtualPath paths;
    paths.SetHome(HomeText(Local("root")));
    paths.SetCurrentDir(Local(current));
    std::string wanted;
    if (expected == "/")
        wanted = "/";
    else if (expected == ".")
        wanted = m_strBase;
    else if (!expected.empty())
        wanted = Local(expected);

    const std::string local = paths.VirtualToLocal(argument);
    ASSERT_EQ(local, wanted);
    ASSERT_EQ(paths.IsInsideHome(local), bInside);
}

INSTANTIATE_TEST_SUITE_P(VirtualPath, MapsClientPaths, testing::ValuesIn(kMapsClientPathsRows), RowName());

    // 乙 is A4 41 in code page 950: its trail byte must not be lower-cased to 兀 (A4 61).
struct ClientFormIsLowerCaseBelowHomeRow {
    const char* name;
    std::string local; // below base, UTF-8
    std::string expected;
};

const ClientFormIsLowerCaseBelowHomeRow kClientFormIsLowerCaseBelowHomeRows[] = {
    {"home", "root", "/"},
    {"lower-cased", "root/Photos/Trip", "/photos/trip"},
    {"trail byte backslash kept whole", "root/\xE8\xA8\xB1", "/\xB3\x5C"},
    {"trail byte letter kept", "root/\xE4\xB9\x99X", "/\xA4\x41x"},
    {"unencodable name", "root/caf\xC3\xA9", "/caf?"},
};

class ClientFormIsLowerCaseBelowHome : public VirtualPath, public testing::WithParamInterface<ClientFormIsLowerCaseBelowHomeRow> {};

TEST_P(ClientFormIsLowerCaseBelowHome, Row)
{
    const auto& [name, local, expected] = GetParam();
    CVirtualPath paths;
    paths.SetHome(HomeText(Local("root")));
    ASSERT_EQ(paths.LocalToVirtual(Local(local)), expected);
}

INSTANTIATE_TEST_SUITE_P(VirtualPath, ClientFormIsLowerCaseBelowHome, testing::ValuesIn(kClientFormIsLowerCaseBelowHomeRows), RowName());

TEST_F(VirtualPath, HomeTextIsNormalised)
{
    CVirtualPath paths;
#ifdef _WIN32
    paths.SetHome(HomeText(m_strBase) + "\\\\root\\.\\");
#else
    paths.SetHome(m_strBase + "//root/./");
#endif
    ASSERT_EQ(paths.Home(), Local("root"));
    ASSERT_EQ(paths.CurrentDir(), Local("root"));
    ASSERT_EQ(paths.LocalToVirtual(paths.CurrentDir()), "/");
    ASSERT_TRUE(paths.IsInsideHome(paths.VirtualToLocal("/")));
    ASSERT_TRUE(!paths.IsInsideHome(paths.VirtualToLocal("/../root2")));
}

// Windows has no single top: the drives are the tops.
#ifndef _WIN32
TEST_F(VirtualPath, FilesystemRootAsHome)
{
    CVirtualPath paths;
    paths.SetHome("/");
    ASSERT_EQ(paths.Home(), "/");
    ASSERT_EQ(paths.VirtualToLocal("/../.."), "/");
    ASSERT_EQ(paths.LocalToVirtual("/"), "/");
    std::string lowered = m_strBase + "/root/photos";
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
    ASSERT_EQ(paths.LocalToVirtual(Local("root/Photos")), lowered);
    ASSERT_TRUE(paths.IsInsideHome(Local("root/escape")));
}
#endif

struct UnusableHomeLeavesNothingUsableRow {
    const char* name;
    std::string home;
};

const UnusableHomeLeavesNothingUsableRow kUnusableHomeLeavesNothingUsableRows[] = {
    {"empty", std::string()},
    {"relative", "srv/ftp"},
};

class UnusableHomeLeavesNothingUsable : public VirtualPath, public testing::WithParamInterface<UnusableHomeLeavesNothingUsableRow> {};

TEST_P(UnusableHomeLeavesNothingUsable, Row)
{
    const auto& [name, home] = GetParam();
    CVirtualPath paths;
    paths.SetHome(home);
    for (const char* argument : {"/", "/tmp", "x", ".."}) {
        const std::string local = paths.VirtualToLocal(argument);
        ASSERT_TRUE(local.empty());
        ASSERT_TRUE(!CVirtualPath::PathExists(local, true));
        ASSERT_TRUE(!paths.IsInsideHome(local));
    }
    ASSERT_TRUE(!paths.IsInsideHome("/"));
    ASSERT_TRUE(!paths.IsInsideHome(Local("root")));
}

INSTANTIATE_TEST_SUITE_P(VirtualPath, UnusableHomeLeavesNothingUsable, testing::ValuesIn(kUnusableHomeLeavesNothingUsableRows), RowName());

TEST_F(VirtualPath, CaseTiesResolveToSmallestName)
{
    CVirtualPath paths;
    paths.SetHome(HomeText(Local("root")));
    ASSERT_EQ(paths.VirtualToLocal("/ABC"), Local("root/Abc"));
    ASSERT_EQ(paths.VirtualToLocal("/abc"), Local("root/Abc"));
    ASSERT_EQ(paths.VirtualToLocal("/aBC"), Local("root/aBC")); // the exact name wins
}

TEST_F(VirtualPath, HomeReachedThroughLinkStillConfines)
{
    ASSERT_TRUE(CTestLink::Make(m_Tree.Native("root"), m_Tree.Native("home-link")));
    CVirtualPath paths;
    paths.SetHome(HomeText(Local("home-link")));
    ASSERT_TRUE(paths.IsInsideHome(paths.VirtualToLocal("/docs")));
    ASSERT_TRUE(paths.IsInsideHome(paths.VirtualToLocal("/new/deeper")));
    ASSERT_TRUE(!paths.IsInsideHome(paths.VirtualToLocal("/escape")));
    ASSERT_TRUE(!paths.IsInsideHome(paths.VirtualToLocal("/../root/docs")));
}

TEST_F(VirtualPath, ExistenceTestsKind)
{
    ASSERT_TRUE(CVirtualPath::PathExists(Local("root/docs"), true));
    ASSERT_TRUE(!CVirtualPath::PathExists(Local("root/docs"), false));
    ASSERT_TRUE(CVirtualPath::PathExists(Local("root/Report.TXT"), false));
    ASSERT_TRUE(!CVirtualPath::PathExists(Local("root/Report.TXT"), true));
    ASSERT_TRUE(CVirtualPath::PathExists(Local("root/escape"), true)); // a link counts as what it leads to
    ASSERT_TRUE(!CVirtualPath::PathExists(Local("root/dangling"), false));
    ASSERT_TRUE(!CVirtualPath::PathExists(std::string(), true));
}
