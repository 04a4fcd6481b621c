#pragma once

#include "platform/async_socket.h"

// A socket whose Send returns only when every byte is sent, or on an error,
// or when the owning thread has been told to quit: a client that stops
// reading cannot hold a session thread that is being stopped.
class CSocket : public CAsyncSocket {
public:
    int Send(const void* data, int length) override;
};
