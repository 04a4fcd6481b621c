#pragma once

#include <cerrno>

// The one retry of a system call that a signal interrupted. Every call that
// may block or be interrupted goes through it; what errno then says is read
// only inside platform/.
class CSystemCall {
public:
    template <typename Call>
    static auto RetryOnInterrupt(Call call)
    {
        decltype(call()) result;
        do {
            result = call();
        } while (result == -1 && errno == EINTR);
        return result;
    }
};
