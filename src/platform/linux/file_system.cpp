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
bool IsUsable(const std::string& path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
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
FileError ForEachName(const std::string& path, Visit visit)
{
    if (!IsUsable(path))
        return FileError::NotFound;
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(path.c_str()));
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

FileStatus CFileSystem::Stat(const std::string& path)
{
    FileStatus status;
    struct stat info;
    if (!IsUsable(path) || stat(path.c_str(), &info) != 0)
        return status;
    status.kind = S_ISDIR(info.st_mode) ? FileKind::Directory : FileKind::File;
    status.nSize = S_ISDIR(info.st_mode) ? 0 : static_cast<int64_t>(info.st_size);
    status.nModified = static_cast<int64_t>(info.st_mtime);
    return status;
}

bool CFileSystem::EntryExists(const std::string& path)
{
    struct stat info;
    return IsUsable(path) && lstat(path.c_str(), &info) == 0;
}

FileError CFileSystem::RealPath(const std::string& path, std::string& real)
{
    real.clear();
    if (!IsUsable(path))
        return FileError::NotFound;
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    if (!resolved)
        return ErrorFromErrno(errno);
    real = resolved.get();
    return FileError::None;
}

FileError CFileSystem::MakeDirectory(const std::string& path)
{
    if (!IsUsable(path))
        return FileError::NotFound;
    return ResultOf(CSystemCall::RetryOnInterrupt([&] { return mkdir(path.c_str(), 0777); }));
}

FileError CFileSystem::RemoveDirectory(const std::string& path)
{
    if (!IsUsable(path))
        return FileError::NotFound;
    return ResultOf(CSystemCall::RetryOnInterrupt([&] { return rmdir(path.c_str()); }));
}

FileError CFileSystem::RemoveFile(const std::string& path)
{
    if (!IsUsable(path))
        return FileError::NotFound;
    return ResultOf(CSystemCall::RetryOnInterrupt([&] { return unlink(path.c_str()); }));
}

FileError CFileSystem::RenameNoReplace(const std::string& from, const std::string& to)
{
    if (!IsUsable(from) || !IsUsable(to))
        return FileError::NotFound;
    // Called through syscall() so that the build does not depend on the C
    // library's wrapper; a file system without the flag answers EINVAL and the
    // move is refused rather than done with a replacing rename.
    return ResultOf(CSystemCall::RetryOnInterrupt([&] {
        return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD,
                                        to.c_str(), RENAME_NOREPLACE));
    }));
}

FileError CFileSystem::ListNames(const std::string& path, std::vector<std::string>& names)
{
    names.clear();
    return ForEachName(path, [&](int, const char* pName) { names.emplace_back(pName); });
}

FileError CFileSystem::ListDirectory(const std::string& path, std::vector<DirectoryEntry>& entries)
{
    entries.clear();
    return ForEachName(path, [&](int descriptor, const char* pName) {
        DirectoryEntry entry;
        entry.strName = pName;
        struct stat info;
        if (fstatat(descriptor, pName, &info, 0) == 0) {
            entry.bIsDirectory = S_ISDIR(info.st_mode);
            entry.nSize = entry.bIsDirectory ? 0 : static_cast<int64_t>(info.st_size);
            entry.nModified = static_cast<int64_t>(info.st_mtime);
            entry.bHasTime = true;
        }
        entries.push_back(std::move(entry));
    });
}

std::string CFileSystem::FromNativePath(std::string_view native)
{
    return std::string(native);
}

bool CFileSystem::IsPlainName(const std::string&)
{
    return true;
}
