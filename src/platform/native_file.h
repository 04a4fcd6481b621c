#pragma once

#include <cstdint>
#include <string>

#include "platform/open_file_table.h"
#include "platform/unique_fd.h"

// An open file as the system names it: a descriptor on Linux, a HANDLE on Windows.
#ifdef _WIN32
using FileHandle = void*;
#else
using FileHandle = int;
#endif

// One open regular file of a transfer: the descriptor and its place in the
// process's table of open transfer files, both given up when the object
// closes or is destroyed. Offsets and lengths are 64-bit; reads and writes
// name their offset, so the object keeps no file position. Failures come back
// as return values. Used on one thread at a time.
class CNativeFile {
public:
    enum class Mode {
        // Read an existing file; others may read it meanwhile but not write.
        ReadDenyWrite,
        // Write, creating the file when it is missing and keeping its contents
        // otherwise; others may read it meanwhile but not write.
        WriteDenyWrite,
    };

    CNativeFile() = default;
    CNativeFile(const CNativeFile&) = delete;
    CNativeFile& operator=(const CNativeFile&) = delete;

    // False when the path cannot be opened in that mode, is not a regular
    // file, or another transfer holds it in a way the mode does not allow.
    bool Open(const std::string& path, Mode mode, COpenFileTable& table = COpenFileTable::Instance());
    void Close();
    bool IsOpen() const { return m_File.Valid(); }
    FileHandle Handle() const { return m_File.Get(); }

    // The length in bytes, or -1.
    int64_t Length() const;
    // Cuts or extends the file; false for a negative length or a failure.
    bool SetLength(int64_t length);
    // Bytes read at the offset (0 at the end of the file), or -1.
    int64_t ReadAt(int64_t offset, char* buffer, int64_t length) const;
    // True only when every byte was written (a full disk is a failure).
    bool WriteAt(int64_t offset, const char* data, int64_t length);

private:
    // What an opener in the mode does and lets others do, for the table.
    static COpenFileTable::Usage UsageOf(Mode mode);

    // The descriptor is declared last, so it is closed before the lease goes.
    COpenFileTable::CLease m_Lease;
    CUniqueFd m_File;
};
