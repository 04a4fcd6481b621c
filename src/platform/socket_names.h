#pragma once

// The names the socket layer reports in: WSA error numbers, notification
// bits and shutdown directions. On Windows they are the system's own.
#ifdef _WIN32
#include <winsock2.h>
#else
// Socket errors in the numbers the rest of the program tests for: the
// system's own on Windows, the same numbers here.
enum SocketError : int {
    WSAEINVAL = 10022,
    WSAEWOULDBLOCK = 10035,
    WSAEADDRINUSE = 10048,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOTCONN = 10057,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAEACCES = 10013,
    WSAEMFILE = 10024,
    WSAENOTSOCK = 10038,
};

// Notification bits of a socket's event mask, as Windows numbers them.
enum SocketEvent : long {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_OOB = 4,
    FD_ACCEPT = 8,
    FD_CONNECT = 16,
    FD_CLOSE = 32,
};
#endif

// Every notification but urgent data, which sockets receive inline.
constexpr long kAllSocketEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
constexpr int kSocketError = -1;

// An error the system gave that no name here stands for.
constexpr int WSAEOTHER = 10000;

// The directions ShutDown ends (SD_RECEIVE, SD_SEND and SD_BOTH on Windows).
enum ShutDownHow : int {
    kShutDownReceive = 0,
    kShutDownSend = 1,
    kShutDownBoth = 2,
};
