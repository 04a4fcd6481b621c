#include "platform/native_file.h"

#include <algorithm>

#include <windows.h>

#include "platform/win32/wide_path.h"

namespace {

OVERLAPPED At(int64_t offset)
{
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return position;
}

// One read or write call moves at most this much.
constexpr int64_t kMostBytesPerCall = 1 << 30;

} // namespace

// The system's share modes say the same as the table (others may read, and
// delete or rename as on Linux, but not write), so other programs keep to the
// rule too; the table still decides among this process's transfers. Only a
// file on a disk is taken: a device or a pipe never is.
bool CNativeFile::Open(const std::string& path, Mode mode, COpenFileTable& table)
{
    Close();
    const std::wstring native = CWidePath::ToNative(path);
    if (native.empty() || path.find('\0') != std::string::npos)
        return false;
    const bool bRead = mode == Mode::ReadDenyWrite;
    HANDLE hFile = ::CreateFileW(native.c_str(), bRead ? GENERIC_READ : GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, bRead ? OPEN_EXISTING : OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    CUniqueFd file(hFile == INVALID_HANDLE_VALUE ? kNoDescriptor : hFile);
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!file.Valid() || ::GetFileType(file.Get()) != FILE_TYPE_DISK
        || !::GetFileInformationByHandle(file.Get(), &information)
        || (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    const uint64_t index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    COpenFileTable::CLease lease = table.Acquire(information.dwVolumeSerialNumber, index, UsageOf(mode));
    if (!lease.IsHeld())
        return false;
    m_File = std::move(file);
    m_Lease = std::move(lease);
    return true;
}

void CNativeFile::Close()
{
    m_File.Reset();
    m_Lease.Release();
}

int64_t CNativeFile::Length() const
{
    LARGE_INTEGER size = {};
    if (!m_File.Valid() || !::GetFileSizeEx(m_File.Get(), &size))
        return -1;
    return size.QuadPart;
}

bool CNativeFile::SetLength(int64_t length)
{
    if (!m_File.Valid() || length < 0)
        return false;
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = length;
    return ::SetFileInformationByHandle(m_File.Get(), FileEndOfFileInfo, &end, sizeof(end)) != FALSE;
}

int64_t CNativeFile::ReadAt(int64_t offset, char* buffer, int64_t length) const
{
    if (!m_File.Valid() || offset < 0 || length < 0)
        return -1;
    OVERLAPPED position = At(offset);
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min(length, kMostBytesPerCall));
    if (!::ReadFile(m_File.Get(), buffer, wanted, &read, &position))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return read;
}

bool CNativeFile::WriteAt(int64_t offset, const char* data, int64_t length)
{
    if (!m_File.Valid() || offset < 0 || length < 0)
        return false;
    int64_t written = 0;
    while (written < length) {
        OVERLAPPED position = At(offset + written);
        DWORD done = 0;
        const DWORD wanted = static_cast<DWORD>(std::min(length - written, kMostBytesPerCall));
        if (!::WriteFile(m_File.Get(), data + written, wanted, &done, &position) || done == 0)
            return false;
        written += done;
    }
    return true;
}
