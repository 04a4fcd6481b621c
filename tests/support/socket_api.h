#pragma once

// The system's socket calls as the tests make them, spelt the same on both
// systems: the POSIX headers on Linux; on Windows Winsock's, with poll and
// the two send flags the tests pass. The tests' Windows sockets never block
// (CTestSocket keeps them so), so the flags have nothing to add there, and a
// broken connection is an error code, not a signal.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

constexpr int MSG_NOSIGNAL = 0;
constexpr int MSG_DONTWAIT = 0;

inline int poll(pollfd* entries, unsigned long count, int timeoutMs)
{
    return ::WSAPoll(entries, count, timeoutMs);
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#endif
