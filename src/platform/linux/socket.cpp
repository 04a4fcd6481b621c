#include "platform/socket.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

#include "platform/system_call.h"

namespace {

// Short enough that a stop request is seen promptly, long enough not to spin.
constexpr int kWritableSliceMs = 50;

} // namespace

int CSocket::Send(const void* data, int length)
{
    const char* bytes = static_cast<const char*>(data);
    int total = 0;
    while (total < length) {
        const ssize_t sent = CSystemCall::RetryOnInterrupt(
            [&] { return ::send(Handle(), bytes + total, length - total, MSG_NOSIGNAL | MSG_DONTWAIT); });
        if (sent >= 0) {
            total += static_cast<int>(sent);
            continue;
        }
        if (errno != EAGAIN) {
            SetLastError(ErrorFromErrno(errno));
            return kSocketError;
        }
        pollfd writable = {Handle(), POLLOUT, 0};
        while (::poll(&writable, 1, kWritableSliceMs) == 0) {
            if (Loop().IsInterruptionRequested()) {
                SetLastError(WSAECONNABORTED);
                return kSocketError;
            }
        }
    }
    return total;
}
