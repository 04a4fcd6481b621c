#include "platform/native_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system_call.h"

bool CNativeFile::Open(const std::string& path, Mode mode, COpenFileTable& table)
{
    Close();
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    // Non-blocking, so that a client naming a pipe cannot hold the session in
    // open(); such a file is refused below anyway.
    const int flags = mode == Mode::ReadDenyWrite ? O_RDONLY : (O_WRONLY | O_CREAT);
    CUniqueFd file(
        CSystemCall::RetryOnInterrupt([&] { return ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666); }));
    struct stat status = {};
    if (!file.Valid() || ::fstat(file.Get(), &status) < 0 || !S_ISREG(status.st_mode))
        return false;
    COpenFileTable::CLease lease = table.Acquire(status.st_dev, status.st_ino, UsageOf(mode));
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
    struct stat status = {};
    if (!m_File.Valid() || ::fstat(m_File.Get(), &status) < 0)
        return -1;
    return status.st_size;
}

bool CNativeFile::SetLength(int64_t length)
{
    if (!m_File.Valid() || length < 0)
        return false;
    return CSystemCall::RetryOnInterrupt([&] { return ::ftruncate(m_File.Get(), length); }) == 0;
}

int64_t CNativeFile::ReadAt(int64_t offset, char* buffer, int64_t length) const
{
    if (!m_File.Valid() || offset < 0 || length < 0)
        return -1;
    return CSystemCall::RetryOnInterrupt([&] { return ::pread(m_File.Get(), buffer, static_cast<size_t>(length), offset); });
}

bool CNativeFile::WriteAt(int64_t offset, const char* data, int64_t length)
{
    if (!m_File.Valid() || offset < 0 || length < 0)
        return false;
    int64_t written = 0;
    while (written < length) {
        const ssize_t result = CSystemCall::RetryOnInterrupt(
            [&] { return ::pwrite(m_File.Get(), data + written, static_cast<size_t>(length - written), offset + written); });
        if (result <= 0)
            return false;
        written += result;
    }
    return true;
}
