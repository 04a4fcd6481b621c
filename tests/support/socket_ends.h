#pragma once

#include <cstring>

#include "platform/unique_socket.h"
#include "socket_api.h"

// Both addresses of a connected TCP socket, to find the socket of this
// process that holds the other end of one.
struct SocketEnds {
    sockaddr_storage local = {};
    sockaddr_storage peer = {};

    // Fails for what is no connected socket. Asks nothing else of it: the
    // sockets of other threads may be closing meanwhile.
    bool Read(SocketHandle socket)
    {
        socklen_t localLength = sizeof(local);
        socklen_t peerLength = sizeof(peer);
        return ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &localLength) == 0
            && ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0;
    }
    bool IsOtherEndOf(const SocketEnds& other) const
    {
        return std::memcmp(&local, &other.peer, sizeof(local)) == 0 && std::memcmp(&peer, &other.local, sizeof(peer)) == 0;
    }
};
