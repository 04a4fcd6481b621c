#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct DirectoryEntry;

// The long listing that LIST and NLST send: one line per entry in a fixed
// Unix-like format, names in code page 950, lines ended by CR LF. Keeps no
// state; usable from any thread.
class CDirectoryListing {
public:
    // Removes option words (each word that begins with "-" at the start or
    // right after a blank, with the one blank that ends it), then trims white
    // space from both ends.
    static void StripListOptions(std::string& argument);

    // The 14-byte date field: month, day and time of day for times up to just
    // under 351 days old, month, day and year for older or future times.
    // English month names whatever the locale; local time.
    static std::string FormatListTime(int64_t nModified, int64_t nNow);

    // One line for one entry; the name (already code page 950) begins at byte 52.
    static std::string FormatLine(std::string_view name, bool bIsDirectory, int64_t nSize,
                                  std::string_view dateField);

    // Every entry of a directory, in the file system's own order. A directory
    // that cannot be read gives an empty listing.
    static std::string ListDirectory(const std::string& localDirectory, int64_t nNow);

    // The one line for a file, under its bare name.
    static std::string ListFile(const std::string& localFile, int64_t nNow);

private:
    // The date field and its terminating NUL.
    using DateField = std::array<char, 32>;

    static void WriteListTime(DateField& field, int64_t nModified, int64_t nNow);
    static void AppendLine(std::string& listing, std::string_view name, bool bIsDirectory, int64_t nSize,
                           std::string_view dateField);
    static void AppendEntry(std::string& listing, const DirectoryEntry& entry, int64_t nNow);
};
