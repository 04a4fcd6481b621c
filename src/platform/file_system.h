#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
// The system's headers make RemoveDirectory a macro for their own call; once
// they are in, the macro goes, so that every file sees the same name here.
#include <winsock2.h>
#include <windows.h>
#undef RemoveDirectory
#endif

// What a failed file-system call means to the callers above this layer.
enum class FileError {
    None,
    NotFound,    // the path or one of its directories does not exist
    NotDirectory,
    NotEmpty,    // a directory that still holds entries
    Exists,      // the target is already there
    Denied,      // permission, read-only file system, busy
    Other,
};

enum class FileKind {
    Missing,
    File,        // anything that is not a directory (devices and sockets included)
    Directory,
};

struct FileStatus {
    FileKind kind = FileKind::Missing;
    int64_t nSize = 0;
    int64_t nModified = 0; // seconds since the epoch
};

// One entry of a directory as the listing shows it. An entry whose target
// cannot be examined (a dangling symbolic link) still appears, with no size
// and no time (bHasTime false), so a listing shows what the directory holds.
struct DirectoryEntry {
    std::string strName;
    bool bIsDirectory = false;
    int64_t nSize = 0;
    int64_t nModified = 0;
    bool bHasTime = false;
};

// The native file system, for every thread: paths are absolute UTF-8 byte
// strings as the disk holds them. Nothing here throws or leaves errno for the
// caller; failures come back as a FileError. Symbolic links are followed
// except where a function says otherwise.
class CFileSystem {
public:
    // Kind, size and modification time of what the path names.
    static FileStatus Stat(const std::string& path);

    // True when an entry of that name exists, be it a link that leads nowhere.
    static bool EntryExists(const std::string& path);

    // The canonical path with every link resolved; fails for a missing path
    // and for a link that leads nowhere.
    static FileError RealPath(const std::string& path, std::string& real);

    static FileError MakeDirectory(const std::string& path);
    // Only an empty directory goes; its contents are never touched.
    static FileError RemoveDirectory(const std::string& path);
    // Removes a file (or a link, never what it leads to), never a directory.
    static FileError RemoveFile(const std::string& path);
    // Renames or moves in one step and never replaces an existing entry.
    static FileError RenameNoReplace(const std::string& from, const std::string& to);

    // The names in a directory, in the file system's own order, without "." and "..".
    static FileError ListNames(const std::string& path, std::vector<std::string>& names);

    // The entries of a directory in the file system's own order, without the
    // "." and ".." entries.
    static FileError ListDirectory(const std::string& path, std::vector<DirectoryEntry>& entries);

    // The path a user gave in the system's own form (the shared folder), as
    // these functions take paths: unchanged on Linux; on Windows, where the
    // drives are the names below the top, "C:\分享" is "/C:/分享". Empty
    // for one that names no folder on a drive.
    static std::string FromNativePath(std::string_view native);

    // True when the path's last name stands for its entry and nothing else:
    // on Windows not a device (CON, NUL, COM1, also with an extension), a
    // stream (a:b) or a drive, no name the system would trim (trailing dots
    // and spaces) or read as a pattern, and no short alias of a longer name
    // (PROGRA~1). Every name is one on Linux.
    static bool IsPlainName(const std::string& path);
};
