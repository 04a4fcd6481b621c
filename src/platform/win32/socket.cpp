#include "platform/socket.h"

#include <winsock2.h>

namespace {

// Short enough that a stop request is seen promptly, long enough not to spin.
constexpr int kWritableSliceMs = 50;

} // namespace

int CSocket::Send(const void* data, int length)
{
    const char* bytes = static_cast<const char*>(data);
    int total = 0;
    while (total < length) {
        const int sent = ::send(Handle(), bytes + total, length - total, 0);
        if (sent != SOCKET_ERROR) {
            total += sent;
            continue;
        }
        const int error = ErrorFromErrno(::WSAGetLastError());
        if (error != WSAEWOULDBLOCK) {
            SetLastError(error);
            return kSocketError;
        }
        for (;;) {
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(Handle(), &writable);
            timeval slice = {0, kWritableSliceMs * 1000};
            if (::select(0, nullptr, &writable, nullptr, &slice) != 0)
                break;
            if (Loop().IsInterruptionRequested()) {
                SetLastError(WSAECONNABORTED);
                return kSocketError;
            }
        }
    }
    return total;
}
