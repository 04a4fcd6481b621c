#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "row_name.h"
#include "session/directory_listing.h"
#include "temp_folder.h"
#include "temp_tree.h"
#include "test_link.h"

namespace fs = std::filesystem;

namespace {

// 2026-03-05 09:07:00 UTC; the tests run with TZ=UTC.
constexpr int64_t kNow = 1772701620;
constexpr int64_t kDay = 86400;

// The lines of a listing ordered by name (the name begins at byte 52).
std::vector<std::string> SortedLines(const std::string& listing)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < listing.size();) {
        const std::size_t end = std::min(listing.find('\n', start), listing.size());
        lines.push_back(listing.substr(start, end - start));
        start = end + 1;
    }
    std::sort(lines.begin(), lines.end(),
              [](const std::string& a, const std::string& b) { return a.substr(52) < b.substr(52); });
    return lines;
}

} // namespace

class DirectoryListing : public testing::Test {
protected:
    void SetUp() override;
};

void DirectoryListing::SetUp()
{
#ifdef _WIN32
    ::_putenv_s("TZ", "UTC");
    ::_tzset();
#else
    ::setenv("TZ", "UTC", 1);
    ::tzset();
#endif
}

struct StripsListOptionsRow {
    const char* name;
    std::string argument;
    std::string expected;
};

const StripsListOptionsRow kStripsListOptionsRows[] = {
    {"option alone", "-la", ""},
    {"option before path", "-l /pub", "/pub"},
    {"option after path", "/pub -l", "/pub"},
    {"two options", "-a -l dir", "dir"},
    {"minus inside word", "a-b", "a-b"},
    {"minus after blank inside name", "my -file", "my"},
    {"white space trimmed", " \t*\r\n", "*"},
    {"lone minus", "dir -", "dir"},
    {"option eats one blank only", "-l  x", "x"},
};

class StripsListOptions : public DirectoryListing, public testing::WithParamInterface<StripsListOptionsRow> {};


TEST_P(StripsListOptions, Row)
{
    const auto& [name, argument, expected] = GetParam();
    std::string stripped = argument;
    CDirectoryListing::StripListOptions(stripped);
    ASSERT_EQ(stripped, expected);
}

INSTANTIATE_TEST_SUITE_P(DirectoryListing, StripsListOptions, testing::ValuesIn(kStripsListOptionsRows), RowName());

struct DateFieldFormRow {
    const char* name;
    int64_t nModified;
    std::string expected;
};

const DateFieldFormRow kDateFieldFormRows[] = {
    {"now", kNow, " Mar 05 09:07 "},
    {"350 days 23 hours ago", kNow - 350 * kDay - 23 * 3600, " Mar 19 10:07 "},
    {"just under 351 days ago", kNow - 351 * kDay + 1, " Mar 19 09:07 "},
    {"351 days ago", kNow - 351 * kDay, " Mar 19 2025  "},
    {"one second ahead", kNow + 1, " Mar 05 2026  "},
    {"long ago", int64_t(1072828800), " Dec 31 2003  "},
    {"single-digit hour and minute", kNow - 9 * 3600 + 60, " Mar 05 00:08 "},
};

class DateFieldForm : public DirectoryListing, public testing::WithParamInterface<DateFieldFormRow> {};


TEST_P(DateFieldForm, Row)
{
    const auto& [name, nModified, expected] = GetParam();
    const std::string field = CDirectoryListing::FormatListTime(nModified, kNow);
    ASSERT_EQ(field, expected);
    ASSERT_EQ(field.size(), size_t(14));
}

INSTANTIATE_TEST_SUITE_P(DirectoryListing, DateFieldForm, testing::ValuesIn(kDateFieldFormRows), RowName());

// Locales built by localedef are the C library's on Linux; Windows' month
// names come from its own language settings, which the listing never asks.
#ifndef _WIN32
TEST_F(DirectoryListing, MonthNamesStayEnglishUnderAnotherLocale)
{
    // No other locale may be installed: build one into a private folder.
    CTempFolder locales;
    ASSERT_TRUE(locales.Valid());
    const std::string build = "localedef -i zh_TW -f UTF-8 '" + locales.PathOf("zh_TW.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(build.c_str()) != 0)
        GTEST_SKIP() << "localedef could not build zh_TW.UTF-8 (package locales missing)";
    ::setenv("LOCPATH", locales.Path().c_str(), 1);
    ASSERT_TRUE(std::setlocale(LC_TIME, "zh_TW.UTF-8"));
    char native[32];
    const time_t now = kNow;
    tm local {};
    localtime_r(&now, &local);
    std::strftime(native, sizeof(native), "%b", &local);
    const std::string field = CDirectoryListing::FormatListTime(kNow - 400 * kDay, kNow);
    std::setlocale(LC_TIME, "C");
    ::unsetenv("LOCPATH");
    ASSERT_TRUE(std::string(native) != "Mar"); // the locale is really in force
    ASSERT_EQ(field, std::string(" Jan 29 2025  "));
}
#endif

struct LineLayoutRow {
    const char* name;
    bool bIsDirectory;
    int64_t nSize;
    std::string expected;
};

const LineLayoutRow kLineLayoutRows[] = {
    {"file", false, int64_t(1234), "-rwx------ 1 user group           1234 Mar 05 09:07 name\r\n"},
    {"directory", true, int64_t(0), "drwx------ 1 user group              0 Mar 05 09:07 name\r\n"},
    {"one digit", false, int64_t(7), "-rwx------ 1 user group              7 Mar 05 09:07 name\r\n"},
    {"ten digits", false, int64_t(1234567890), "-rwx------ 1 user group     1234567890 Mar 05 09:07 name\r\n"},
    {"five GiB", false, int64_t(5368709120), "-rwx------ 1 user group     5368709120 Mar 05 09:07 name\r\n"},
    {"fourteen digits", false, int64_t(12345678901234), "-rwx------ 1 user group 12345678901234 Mar 05 09:07 name\r\n"},
    {"fifteen digits", false, int64_t(123456789012345), "-rwx------ 1 user group 123456789012345 Mar 05 09:07 name\r\n"},
};

class LineLayout : public DirectoryListing, public testing::WithParamInterface<LineLayoutRow> {};


TEST_P(LineLayout, Row)
{
    const auto& [name, bIsDirectory, nSize, expected] = GetParam();
    const std::string line = CDirectoryListing::FormatLine("name", bIsDirectory, nSize, " Mar 05 09:07 ");
    ASSERT_EQ(line, expected);
    if (nSize < 1e14) {
        ASSERT_EQ(line.find("name"), size_t(52));
    }
}

INSTANTIATE_TEST_SUITE_P(DirectoryListing, LineLayout, testing::ValuesIn(kLineLayoutRows), RowName());

TEST_F(DirectoryListing, ListsDirectoryInCodePage950)
{
    CTempTree dir;
    ASSERT_TRUE(!dir.Root().empty());
    fs::create_directory(dir.LocalPath("sub"));
    for (const char* name : {"a.txt", ".profile", "\xE8\xA8\xB1", "caf\xC3\xA9"})
        ASSERT_TRUE(dir.WriteFile(name, "abc"));
    ASSERT_TRUE(CTestLink::Make(dir.LocalPath("nowhere"), dir.LocalPath("dangling")));
    // Every entry a minute old at most.
    const int64_t nNow = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch()).count() + 60;
    const std::string now = CDirectoryListing::FormatListTime(nNow, nNow);

    const std::vector<std::string> lines = SortedLines(CDirectoryListing::ListDirectory(dir.Root(), nNow));
    ASSERT_EQ(lines.size(), 6u);
    for (const std::string& line : lines) {
        ASSERT_TRUE(line.ends_with("\r"));
        ASSERT_EQ(line.at(48), ':'); // every entry is recent: the time form
    }
    ASSERT_TRUE(lines[0].starts_with("-rwx------ 1 user group              3 "));
    ASSERT_TRUE(lines[0].ends_with(" .profile\r"));
    ASSERT_TRUE(lines[1].ends_with(" a.txt\r"));
    ASSERT_TRUE(lines[2].ends_with(" caf?\r"));
    ASSERT_EQ(lines[3], "-rwx------ 1 user group              0" + now + "dangling\r");
    ASSERT_TRUE(lines[4].starts_with("drwx------ 1 user group              0 "));
    ASSERT_TRUE(lines[4].ends_with(" sub\r"));
    ASSERT_TRUE(lines[5].starts_with("-rwx------ 1 user group              3 "));
    ASSERT_TRUE(lines[5].ends_with(" \xB3\x5C\r"));

    ASSERT_TRUE(CDirectoryListing::ListDirectory(dir.PathOf("missing"), nNow).empty());
}

TEST_F(DirectoryListing, ListsOneFileUnderItsBareName)
{
    CTempTree dir;
    ASSERT_TRUE(!dir.Root().empty());
    fs::create_directory(dir.LocalPath("sub"));
    ASSERT_TRUE(dir.MakeSparseFile("sub/big.bin", 5368709120));
    const std::string listing = CDirectoryListing::ListFile(dir.PathOf("sub/big.bin"), kNow);
    ASSERT_TRUE(listing.starts_with("-rwx------ 1 user group     5368709120 "));
    ASSERT_TRUE(listing.ends_with(" big.bin\r\n"));
    ASSERT_EQ(std::count(listing.begin(), listing.end(), '\n'), 1);
}

// Windows names hold no control characters.
#ifndef _WIN32
TEST_F(DirectoryListing, NameWithLineBreaksStaysOneLine)
{
    // A name on disk may hold CR and LF; listed raw it would forge entries.
    CTempTree dir;
    ASSERT_TRUE(dir.WriteFile("evil\r\n-rwx------ 1 user group 1 Jan 01 2000  fake", ""));
    const std::string listing = CDirectoryListing::ListDirectory(dir.Root(), std::time(nullptr));
    ASSERT_EQ(std::count(listing.begin(), listing.end(), '\n'), 1);
    ASSERT_TRUE(listing.ends_with("evil  -rwx------ 1 user group 1 Jan 01 2000  fake\r\n"));
}
#endif
