#include "platform/descriptor_limit.h"

// Windows has no per-process limit of sockets and files to lift: a process
// may hold millions of handles, so there is nothing to raise and no limit to tell.
bool CDescriptorLimit::RaiseToHard()
{
    return true;
}

long long CDescriptorLimit::Soft()
{
    return -1;
}
