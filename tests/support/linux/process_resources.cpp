#include "process_resources.h"

#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include "socket_ends.h"

namespace {

// Counts the entries of a /proc folder without "." and "..". The stream's own
// descriptor is open while /proc/self/fd is read, so it is left out.
int CountEntries(const char* folder, int own)
{
    DIR* directory = ::opendir(folder);
    if (directory == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(directory);
    return count - own;
}

} // namespace

int CProcessResources::ThreadCount()
{
    return CountEntries("/proc/self/task", 0);
}

int CProcessResources::OpenFileCount()
{
    return CountEntries("/proc/self/fd", 1);
}

bool CProcessResources::RaiseFileLimit(long wanted)
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) < 0)
        return false;
    if (limit.rlim_cur >= static_cast<rlim_t>(wanted))
        return true;
    limit.rlim_cur = static_cast<rlim_t>(wanted);
    // Only a privileged process may raise the hard limit as well.
    if (limit.rlim_max < limit.rlim_cur)
        limit.rlim_max = limit.rlim_cur;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

SocketHandle CProcessResources::PeerSocketOf(SocketHandle socket)
{
    SocketEnds wanted;
    if (!wanted.Read(socket))
        return kNoSocket;
    DIR* directory = ::opendir("/proc/self/fd");
    if (directory == nullptr)
        return kNoSocket;
    SocketHandle found = kNoSocket;
    while (const dirent* entry = ::readdir(directory)) {
        const int candidate = std::atoi(entry->d_name);
        SocketEnds ends;
        if (entry->d_name[0] != '.' && candidate != socket && ends.Read(candidate)
            && ends.IsOtherEndOf(wanted)) {
            found = candidate;
            break;
        }
    }
    ::closedir(directory);
    return found;
}
