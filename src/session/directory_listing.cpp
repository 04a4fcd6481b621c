#include "session/directory_listing.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "platform/big5_text.h"
#include "platform/file_system.h"
#include "platform/local_time.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kTimeFormDays = 350;
constexpr int kLengthWidth = 14;

// Fixed English names: a listing must not change with the server's locale.
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Most names are plain ASCII, which code page 950 holds byte for byte.
std::string ToBig5Name(std::string_view utf8)
{
    const bool bAscii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (bAscii)
        return CBig5Text::OneLine(utf8);
    return CBig5Text::OneLine(CBig5Text::FromUtf8(utf8));
}

// The decimal digits of the value, with "-" for a negative one; returns how many.
int FormatDecimal(char (&text)[24], int64_t nValue)
{
    char reversed[24];
    int count = 0;
    // Through unsigned, so that the most negative value has a magnitude too.
    uint64_t magnitude = nValue < 0 ? 0 - static_cast<uint64_t>(nValue) : static_cast<uint64_t>(nValue);
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int length = 0;
    if (nValue < 0)
        text[length++] = '-';
    while (count > 0)
        text[length++] = reversed[--count];
    return length;
}

} // namespace

void CDirectoryListing::StripListOptions(std::string& argument)
{
    std::string kept;
    bool bOption = false;
    bool bAfterBlank = true;
    for (const char c : argument) {
        if (c == '-' && bAfterBlank)
            bOption = true;
        bAfterBlank = c == ' ';
        if (!bOption)
            kept += c;
        else if (c == ' ')
            bOption = false;
    }
    size_t first = 0;
    size_t last = kept.size();
    while (first < last && IsWhiteSpace(kept[first]))
        ++first;
    while (last > first && IsWhiteSpace(kept[last - 1]))
        --last;
    argument = kept.substr(first, last - first);
}

std::string CDirectoryListing::FormatListTime(int64_t nModified, int64_t nNow)
{
    DateField field;
    WriteListTime(field, nModified, nNow);
    return std::string(field.data());
}

void CDirectoryListing::WriteListTime(DateField& field, int64_t nModified, int64_t nNow)
{
    // Files of one folder often share their time, and a listing has one "now".
    thread_local int64_t nLastModified = 0;
    thread_local int64_t nLastNow = 0;
    thread_local DateField lastField {};
    if (lastField[0] != '\0' && nModified == nLastModified && nNow == nLastNow) {
        field = lastField;
        return;
    }
    const tm local = CLocalTime::Of(nModified);
    const char* month = kMonths[(local.tm_mon % 12 + 12) % 12];
    const int64_t nAgeDays = (nNow - nModified) / kSecondsPerDay;
    if (nAgeDays > kTimeFormDays || nModified > nNow)
        std::snprintf(field.data(), field.size(), " %s %02d %04d  ", month, local.tm_mday, local.tm_year + 1900);
    else
        std::snprintf(field.data(), field.size(), " %s %02d %02d:%02d ", month, local.tm_mday, local.tm_hour,
                      local.tm_min);
    nLastModified = nModified;
    nLastNow = nNow;
    lastField = field;
}

std::string CDirectoryListing::FormatLine(std::string_view name, bool bIsDirectory, int64_t nSize,
                                          std::string_view dateField)
{
    std::string line;
    AppendLine(line, name, bIsDirectory, nSize, dateField);
    return line;
}

void CDirectoryListing::AppendLine(std::string& listing, std::string_view name, bool bIsDirectory, int64_t nSize,
                                   std::string_view dateField)
{
    // Written by hand: formatting ten thousand lines through printf costs a
    // listing more than reading the folder does. The length is right-aligned
    // in 14 bytes and simply longer when it needs more.
    static constexpr std::string_view kFilePart = "-rwx------ 1 user group ";
    static constexpr std::string_view kDirectoryPart = "drwx------ 1 user group ";
    const std::string_view fixed = bIsDirectory ? kDirectoryPart : kFilePart;
    char digits[24];
    const int nDigits = FormatDecimal(digits, nSize);
    listing.append(fixed);
    if (nDigits < kLengthWidth)
        listing.append(kLengthWidth - nDigits, ' ');
    listing.append(digits, nDigits);
    listing.append(dateField);
    listing.append(name);
    listing.append("\r\n");
}

void CDirectoryListing::AppendEntry(std::string& listing, const DirectoryEntry& entry, int64_t nNow)
{
    DateField field;
    WriteListTime(field, entry.bHasTime ? entry.nModified : nNow, nNow);
    AppendLine(listing, ToBig5Name(entry.strName), entry.bIsDirectory, entry.nSize, field.data());
}

std::string CDirectoryListing::ListDirectory(const std::string& localDirectory, int64_t nNow)
{
    std::vector<DirectoryEntry> entries;
    CFileSystem::ListDirectory(localDirectory, entries);
    // Lines are about 70 bytes: one buffer for the whole listing.
    std::string listing;
    listing.reserve(entries.size() * 80);
    for (const DirectoryEntry& entry : entries)
        AppendEntry(listing, entry, nNow);
    return listing;
}

std::string CDirectoryListing::ListFile(const std::string& localFile, int64_t nNow)
{
    const FileStatus status = CFileSystem::Stat(localFile);
    if (status.kind == FileKind::Missing)
        return std::string();
    DirectoryEntry entry;
    // npos + 1 is 0: a name without a "/" is its own bare name.
    entry.strName = localFile.substr(localFile.rfind('/') + 1);
    entry.bIsDirectory = status.kind == FileKind::Directory;
    entry.nSize = status.nSize;
    entry.nModified = status.nModified;
    entry.bHasTime = true;
    std::string line;
    AppendEntry(line, entry, nNow);
    return line;
}
