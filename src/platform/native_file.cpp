#include "platform/native_file.h"

COpenFileTable::Usage CNativeFile::UsageOf(Mode mode)
{
    COpenFileTable::Usage usage;
    if (mode == Mode::ReadDenyWrite) {
        usage.bRead = true;
        usage.bShareRead = true;
    } else {
        usage.bWrite = true;
        usage.bShareRead = true;
    }
    return usage;
}
