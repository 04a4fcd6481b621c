#include "platform/native_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <typename Call>
auto RetryOnInterrupt(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

COpenFileTable::Usage UsageOf(CNativeFile::Mode mode)
{
    COpenFileTable::Usage usage;
    if (mode == CNativeFile::Mode::ReadExclusive) {
        usage.bRead = true;
    } else {
        usage.bWrite = true;
        usage.bShareRead = true;
    }
    return usage;
}

} // namespace

CNativeFile::~CNativeFile()
{
    Close();
}

bool CNativeFile::Open(const QByteArray& path, Mode mode, COpenFileTable& table)
{
    Close();
    if (path.isEmpty() || path.contains('\0'))
        return false;
    // Non-blocking, so that a client naming a pipe cannot hold the session in
    // open(); such a file is refused below anyway.
    const int flags = mode == Mode::ReadExclusive ? O_RDONLY : (O_WRONLY | O_CREAT);
    const int handle = RetryOnInterrupt([&] { return ::open(path.constData(), flags | O_CLOEXEC | O_NONBLOCK, 0666); });
    if (handle < 0)
        return false;
    struct stat status = {};
    if (::fstat(handle, &status) < 0 || !S_ISREG(status.st_mode)) {
        ::close(handle);
        return false;
    }
    COpenFileTable::CLease lease = table.Acquire(status.st_dev, status.st_ino, UsageOf(mode));
    if (!lease.IsHeld()) {
        ::close(handle);
        return false;
    }
    m_hFile = handle;
    m_Lease = std::move(lease);
    return true;
}

void CNativeFile::Close()
{
    if (m_hFile >= 0)
        ::close(m_hFile);
    m_hFile = -1;
    m_Lease.Release();
}

qint64 CNativeFile::Length() const
{
    struct stat status = {};
    if (m_hFile < 0 || ::fstat(m_hFile, &status) < 0)
        return -1;
    return status.st_size;
}

bool CNativeFile::SetLength(qint64 length)
{
    if (m_hFile < 0 || length < 0)
        return false;
    return RetryOnInterrupt([&] { return ::ftruncate(m_hFile, length); }) == 0;
}

qint64 CNativeFile::ReadAt(qint64 offset, char* buffer, qint64 length) const
{
    if (m_hFile < 0 || offset < 0 || length < 0)
        return -1;
    return RetryOnInterrupt([&] { return ::pread(m_hFile, buffer, static_cast<size_t>(length), offset); });
}

bool CNativeFile::WriteAt(qint64 offset, const char* data, qint64 length)
{
    if (m_hFile < 0 || offset < 0 || length < 0)
        return false;
    qint64 written = 0;
    while (written < length) {
        const ssize_t result = RetryOnInterrupt(
            [&] { return ::pwrite(m_hFile, data + written, static_cast<size_t>(length - written), offset + written); });
        if (result <= 0)
            return false;
        written += result;
    }
    return true;
}
