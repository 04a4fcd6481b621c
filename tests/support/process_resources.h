#pragma once

#include "platform/unique_socket.h"

// What the test process holds of the system's resources, to tell whether a
// server in it gave back every thread and descriptor it took.
class CProcessResources {
public:
    // Threads of this process.
    static int ThreadCount();
    // Open descriptors (Linux) or handles (Windows) of this process.
    static int OpenFileCount();
    // Lets the process hold at least that many descriptors; false when the
    // system will not allow it.
    static bool RaiseFileLimit(long wanted);
    // The descriptor of this process that holds the other end of a connected
    // TCP socket (a server's end of a test client's connection), or kNoSocket.
    static SocketHandle PeerSocketOf(SocketHandle socket);
};
