#pragma once

#include <array>

#include <QByteArray>
#include <QtGlobal>

struct DirectoryEntry;

// The long listing that LIST and NLST send: one line per entry in a fixed
// Unix-like format, names in code page 950, lines ended by CR LF. Keeps no
// state; usable from any thread.
class CDirectoryListing {
public:
    // Removes option words (each word that begins with "-" at the start or
    // right after a blank, with the one blank that ends it), then trims white
    // space from both ends.
    static void StripListOptions(QByteArray& argument);

    // The 14-byte date field: month, day and time of day for times up to just
    // under 351 days old, month, day and year for older or future times.
    // English month names whatever the locale; local time.
    static QByteArray FormatListTime(qint64 nModified, qint64 nNow);

    // One line for one entry; the name (already code page 950) begins at byte 52.
    static QByteArray FormatLine(const QByteArray& name, bool bIsDirectory, qint64 nSize,
                                 const QByteArray& dateField);

    // Every entry of a directory, in the file system's own order. A directory
    // that cannot be read gives an empty listing.
    static QByteArray ListDirectory(const QByteArray& localDirectory, qint64 nNow);

    // The one line for a file, under its bare name.
    static QByteArray ListFile(const QByteArray& localFile, qint64 nNow);

private:
    // The date field and its terminating NUL.
    using DateField = std::array<char, 32>;

    static void WriteListTime(DateField& field, qint64 nModified, qint64 nNow);
    static void AppendLine(QByteArray& listing, const QByteArray& name, bool bIsDirectory, qint64 nSize,
                           const char* dateField);
    static void AppendEntry(QByteArray& listing, const DirectoryEntry& entry, qint64 nNow);
};
