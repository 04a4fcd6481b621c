#include "platform/file_system.h"

#include <memory>

#include <windows.h>

#include "platform/win32/wide_path.h"

namespace {

FileError ErrorFromSystem(DWORD error)
{
    switch (error) {
    case ERROR_SUCCESS:
        return FileError::None;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
        return FileError::NotFound;
    case ERROR_DIRECTORY:
        return FileError::NotDirectory;
    case ERROR_DIR_NOT_EMPTY:
        return FileError::NotEmpty;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return FileError::Exists;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_BUSY:
        return FileError::Denied;
    default:
        return FileError::Other;
    }
}

FileError ResultOf(BOOL bDone)
{
    return bDone ? FileError::None : ErrorFromSystem(::GetLastError());
}

// Seconds since 1601 in 100 ns steps, as the epoch's seconds.
int64_t SecondsSinceEpoch(const FILETIME& time)
{
    constexpr int64_t kEpochIn1601Ticks = 116444736000000000LL;
    const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return (ticks - kEpochIn1601Ticks) / 10000000LL;
}

int64_t SizeOf(DWORD high, DWORD low)
{
    return (static_cast<int64_t>(high) << 32) | low;
}

struct HandleCloser {
    void operator()(HANDLE hHandle) const { ::CloseHandle(hHandle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// What the path leads to, links and junctions followed, opened only to be
// looked at: any other opener, writers included, is let be.
UniqueHandle OpenToExamine(const std::wstring& native)
{
    if (native.empty())
        return UniqueHandle();
    HANDLE hFile = ::CreateFileW(native.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    return UniqueHandle(hFile == INVALID_HANDLE_VALUE ? nullptr : hFile);
}

struct FindCloser {
    void operator()(HANDLE hFind) const { ::FindClose(hFind); }
};

// Calls visit(entry) for every entry of the directory but "." and "..".
template <typename Visit>
FileError ForEachEntry(const std::string& path, Visit visit)
{
    const std::wstring native = CWidePath::ToNative(path);
    if (native.empty())
        return FileError::NotFound;
    const std::wstring pattern = native + (native.ends_with(L'\\') ? L"*" : L"\\*");
    WIN32_FIND_DATAW entry = {};
    HANDLE hFind = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (hFind == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? FileError::None : ErrorFromSystem(error);
    }
    const std::unique_ptr<void, FindCloser> find(hFind);
    do {
        const std::wstring_view name(entry.cFileName);
        if (name != L"." && name != L"..")
            visit(entry);
    } while (::FindNextFileW(hFind, &entry));
    const DWORD error = ::GetLastError();
    return error == ERROR_NO_MORE_FILES ? FileError::None : ErrorFromSystem(error);
}

// The top above the drives: a folder that exists, as "/" does on Linux, so
// that ".." past a drive's root answers as any folder outside the home does.
bool IsTop(const std::string& path)
{
    return path == "/";
}

// Whether the path's last name is a link: its real path is not its folder's
// real path and that name. Wine marks a Linux link to a file as nothing
// special, so the attributes cannot tell.
bool IsLink(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    std::string real;
    std::string folder;
    if (slash == std::string::npos || CFileSystem::RealPath(path, real) != FileError::None
        || CFileSystem::RealPath(path.substr(0, slash), folder) != FileError::None)
        return false;
    const std::wstring reached = CWidePath::FromUtf8(real);
    const std::wstring named = CWidePath::FromUtf8(folder + path.substr(slash));
    return ::CompareStringOrdinal(reached.c_str(), static_cast<int>(reached.size()), named.c_str(),
                                  static_cast<int>(named.size()), TRUE)
        != CSTR_EQUAL;
}

} // namespace

FileStatus CFileSystem::Stat(const std::string& path)
{
    FileStatus status;
    if (IsTop(path)) {
        status.kind = FileKind::Directory;
        return status;
    }
    const UniqueHandle file = OpenToExamine(CWidePath::ToNative(path));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!file || !::GetFileInformationByHandle(file.get(), &information))
        return status;
    const bool bDirectory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.kind = bDirectory ? FileKind::Directory : FileKind::File;
    status.nSize = bDirectory ? 0 : SizeOf(information.nFileSizeHigh, information.nFileSizeLow);
    status.nModified = SecondsSinceEpoch(information.ftLastWriteTime);
    return status;
}

bool CFileSystem::EntryExists(const std::string& path)
{
    if (IsTop(path))
        return true;
    const std::wstring native = CWidePath::ToNative(path);
    return !native.empty() && ::GetFileAttributesW(native.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The final path the system reaches through every link and junction, in its
// drive-letter form.
FileError CFileSystem::RealPath(const std::string& path, std::string& real)
{
    real.clear();
    if (IsTop(path)) {
        real = path;
        return FileError::None;
    }
    const std::wstring native = CWidePath::ToNative(path);
    if (native.empty())
        return FileError::NotFound;
    const UniqueHandle file = OpenToExamine(native);
    if (!file)
        return ErrorFromSystem(::GetLastError());
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(file.get(), final.data(), static_cast<DWORD>(final.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return ErrorFromSystem(::GetLastError());
        if (length < final.size()) {
            final.resize(length);
            break;
        }
        final.resize(length);
    }
    real = CWidePath::FromNative(final);
    return real.empty() ? FileError::NotFound : FileError::None;
}

FileError CFileSystem::MakeDirectory(const std::string& path)
{
    const std::wstring native = CWidePath::ToNative(path);
    return native.empty() ? FileError::NotFound : ResultOf(::CreateDirectoryW(native.c_str(), nullptr));
}

FileError CFileSystem::RemoveDirectory(const std::string& path)
{
    const std::wstring native = CWidePath::ToNative(path);
    return native.empty() ? FileError::NotFound : ResultOf(::RemoveDirectoryW(native.c_str()));
}

// A link is not removed: under Wine deleting a Linux link removes the file
// it leads to and keeps the link, so a visitor who meant the link would
// lose the file.
FileError CFileSystem::RemoveFile(const std::string& path)
{
    const std::wstring native = CWidePath::ToNative(path);
    if (native.empty())
        return FileError::NotFound;
    if (IsLink(path))
        return FileError::Denied;
    return ResultOf(::DeleteFileW(native.c_str()));
}

// Without the replace flag a move never overwrites an existing entry.
FileError CFileSystem::RenameNoReplace(const std::string& from, const std::string& to)
{
    const std::wstring nativeFrom = CWidePath::ToNative(from);
    const std::wstring nativeTo = CWidePath::ToNative(to);
    if (nativeFrom.empty() || nativeTo.empty())
        return FileError::NotFound;
    return ResultOf(::MoveFileExW(nativeFrom.c_str(), nativeTo.c_str(), 0));
}

FileError CFileSystem::ListNames(const std::string& path, std::vector<std::string>& names)
{
    names.clear();
    return ForEachEntry(path, [&](const WIN32_FIND_DATAW& entry) { names.push_back(CWidePath::ToUtf8(entry.cFileName)); });
}

FileError CFileSystem::ListDirectory(const std::string& path, std::vector<DirectoryEntry>& entries)
{
    entries.clear();
    return ForEachEntry(path, [&](const WIN32_FIND_DATAW& entry) {
        DirectoryEntry listed;
        listed.strName = CWidePath::ToUtf8(entry.cFileName);
        listed.bIsDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        listed.nSize = listed.bIsDirectory ? 0 : SizeOf(entry.nFileSizeHigh, entry.nFileSizeLow);
        listed.nModified = SecondsSinceEpoch(entry.ftLastWriteTime);
        listed.bHasTime = true;
        entries.push_back(std::move(listed));
    });
}

std::string CFileSystem::FromNativePath(std::string_view native)
{
    return CWidePath::FromNative(CWidePath::FromUtf8(native));
}

// A short alias is found by asking the folder for the entry: the name it
// answers with is the entry's own, and one that differs (beyond letter case)
// was reached through the alias.
bool CFileSystem::IsPlainName(const std::string& path)
{
    const std::wstring native = CWidePath::ToNative(path);
    if (native.empty())
        return false;
    const std::wstring_view name = std::wstring_view(native).substr(native.find_last_of(L'\\') + 1);
    if (name.find(L'~') == std::wstring_view::npos)
        return true;
    WIN32_FIND_DATAW entry = {};
    HANDLE hFind = ::FindFirstFileExW(native.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (hFind == INVALID_HANDLE_VALUE)
        return true;
    ::FindClose(hFind);
    return ::CompareStringOrdinal(entry.cFileName, -1, name.data(), static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}
