#pragma once

#ifdef _WIN32
#include <winsock2.h>
#endif

// A socket as the system names it: a descriptor on Linux, a SOCKET on Windows.
#ifdef _WIN32
using SocketHandle = SOCKET;
constexpr SocketHandle kNoSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
#endif

// Owns one socket and closes it exactly once: when it is reset, given a new
// one, or destroyed. A socket handed from the listener to a session thread
// travels in one of these, so an error path on either side closes it.
class CUniqueSocket {
public:
    CUniqueSocket() = default;
    explicit CUniqueSocket(SocketHandle hSocket) : m_hSocket(hSocket) {}
    CUniqueSocket(CUniqueSocket&& other) noexcept : m_hSocket(other.Release()) {}
    CUniqueSocket& operator=(CUniqueSocket&& other) noexcept;
    CUniqueSocket(const CUniqueSocket&) = delete;
    CUniqueSocket& operator=(const CUniqueSocket&) = delete;
    ~CUniqueSocket() { Reset(); }

    SocketHandle Get() const { return m_hSocket; }
    bool Valid() const { return m_hSocket != kNoSocket; }
    // Closes the socket held, if any, and holds hSocket instead.
    void Reset(SocketHandle hSocket = kNoSocket);
    // Hands the socket over to the caller, who closes it.
    SocketHandle Release();

private:
    SocketHandle m_hSocket = kNoSocket;
};
