#include "platform/file_system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/system_call.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

FileError ErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return FileError::None;
    case ENOENT:
        return FileError::NotFound;
    case ENOTDIR:
        return FileError::NotDirectory;
    case ENOTEMPTY:
        return FileError::NotEmpty;
    case EEXIST:
        return FileError::Exists;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
        return FileError::Denied;
    default:
        return FileError::Other;
    }
}

// A path with a NUL byte inside would name something shorter than the text.
bool IsUsable(const QByteArray& path)
{
    return !path.isEmpty() && !path.contains('\0');
}

FileError ResultOf(int result)
{
    return result == 0 ? FileError::None : ErrorFromErrno(errno);
}

struct DirectoryCloser {
    void operator()(DIR* pDirectory) const { closedir(pDirectory); }
};

// Calls visit(directory descriptor, name) for every entry but "." and "..".
template <typename Visit>
FileError ForEachName(const QByteArray& path, Visit visit)
{
    if (!IsUsable(path))
        return FileError::NotFound;
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(path.constData()));
    if (!directory)
        return ErrorFromErrno(errno);
    const int descriptor = dirfd(directory.get());
    for (;;) {
        errno = 0;
        const dirent* pEntry = readdir(directory.get());
        if (!pEntry)
            return ErrorFromErrno(errno);
        const char* pName = pEntry->d_name;
        if (std::strcmp(pName, ".") == 0 || std::strcmp(pName, "..") == 0)
            continue;
        visit(descriptor, pName);
    }
}

} // namespace

FileStatus CFileSystem::Stat(const QByteArray& path)
{
    FileStatus status;
    struct stat info;
    if (!IsUsable(path) || stat(path.constData(), &info) != 0)
        return status;
    status.kind = S_ISDIR(info.st_mode) ? FileKind::Directory : FileKind::File;
    status.nSize = S_ISDIR(info.st_mode) ? 0 : static_cast<qint64>(info.st_size);
    status.nModified = static_cast<qint64>(info.st_mtime);
    return status;
}

bool CFileSystem::EntryExists(const QByteArray& path)
{
    struct stat info;
    return IsUsable(path) && lstat(path.constData(), &info) == 0;
}

FileError CFileSystem::RealPath(const QByteArray& path, QByteArray& real)
{
    real.clear();
    if (!IsUsable(path))
        return FileError::NotFound;
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.constData(), nullptr), &std::free);
    if (!resolved)
        return ErrorFromErrno(errno);
    real = QByteArray(resolved.get());
    return FileError::None;
}

FileError CFileSystem::MakeDirectory(const QByteArray& path)
{
    if (!IsUsable(path))
        return FileError::NotFound;
    return ResultOf(CSystemCall::RetryOnInterrupt([&] { return mkdir(path.constData(), 0777); }));
}

FileError CFileSystem::RemoveDirectory(const QByteArray& path)
{
    if (!IsUsable(path))
        return FileError::NotFound;
    return ResultOf(CSystemCall::RetryOnInterrupt([&] { return rmdir(path.constData()); }));
}

FileError CFileSystem::RemoveFile(const QByteArray& path)
{
    if (!IsUsable(path))
        return FileError::NotFound;
    return ResultOf(CSystemCall::RetryOnInterrupt([&] { return unlink(path.constData()); }));
}

FileError CFileSystem::RenameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (!IsUsable(from) || !IsUsable(to))
        return FileError::NotFound;
    // Called through syscall() so that the build does not depend on the C
    // library's wrapper; a file system without the flag answers EINVAL and the
    // move is refused rather than done with a replacing rename.
    return ResultOf(CSystemCall::RetryOnInterrupt([&] {
        return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD,
                                        to.constData(), RENAME_NOREPLACE));
    }));
}

FileError CFileSystem::ListNames(const QByteArray& path, std::vector<QByteArray>& names)
{
    names.clear();
    return ForEachName(path, [&](int, const char* pName) { names.emplace_back(pName); });
}

FileError CFileSystem::ListDirectory(const QByteArray& path, std::vector<DirectoryEntry>& entries)
{
    entries.clear();
    return ForEachName(path, [&](int descriptor, const char* pName) {
        DirectoryEntry entry;
        entry.strName = QByteArray(pName);
        struct stat info;
        if (fstatat(descriptor, pName, &info, 0) == 0) {
            entry.bIsDirectory = S_ISDIR(info.st_mode);
            entry.nSize = entry.bIsDirectory ? 0 : static_cast<qint64>(info.st_size);
            entry.nModified = static_cast<qint64>(info.st_mtime);
            entry.bHasTime = true;
        }
        entries.push_back(std::move(entry));
    });
}
