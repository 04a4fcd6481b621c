#include "platform/unique_socket.h"

#include <utility>

#ifndef _WIN32
#include <unistd.h>
#endif

CUniqueSocket& CUniqueSocket::operator=(CUniqueSocket&& other) noexcept
{
    if (this != &other)
        Reset(other.Release());
    return *this;
}

void CUniqueSocket::Reset(SocketHandle hSocket)
{
    // Linux frees the descriptor even when close reports EINTR, so a retry
    // could close one that another thread has just been given.
    if (m_hSocket != kNoSocket) {
#ifdef _WIN32
        ::closesocket(m_hSocket);
#else
        ::close(m_hSocket);
#endif
    }
    m_hSocket = hSocket;
}

SocketHandle CUniqueSocket::Release()
{
    return std::exchange(m_hSocket, kNoSocket);
}
