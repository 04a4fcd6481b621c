#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/unique_socket.h"
#include "socket_api.h"

// The plain-socket calls every test client, fuzzer and benchmark makes, each
// bounded by a deadline. How a call waits is the caller's choice: pumping the
// calling thread's events (the server under test may accept on that thread)
// or blocking (worker threads, benchmarks). Reads and writes never block past
// a wait that said the socket was ready: on Linux the sockets block and every
// call is preceded by a wait, on Windows they never block.
class CTestSocket {
public:
    using Clock = std::chrono::steady_clock;
    using Deadline = Clock::time_point;
    enum class Wait { PumpEvents, Block };
    // How long a test waits for what is due: a reply, a connection's end, a
    // thread's end. Only a failing wait lasts this long, and on a loaded
    // 2-core machine under the race detector a command that does real work
    // (a CWD through two thousand names) has taken 1.7 s.
    static constexpr int kDeadlineMs = 10000;
    // What a read returns when the deadline passed first.
    static constexpr int64_t kTimedOut = -2;

    static Deadline DeadlineIn(int milliseconds);
    // True when the descriptor is ready for the events before the deadline.
    static bool WaitFor(SocketHandle fd, short events, Deadline deadline, Wait wait);

    static sockaddr_in Address(const char* address, uint16_t port);
    // A connection to address:port, made from localAddress when one is given
    // (another loopback address plays another machine); a receive buffer size
    // above 0 is set before connecting, so the window starts that small.
    static CUniqueSocket Connect(const char* address, uint16_t port, Deadline deadline, Wait wait,
                             const char* localAddress = nullptr, int receiveBuffer = 0);
    // A listener on the address with a port chosen by the system.
    static CUniqueSocket Listen(const char* address, uint16_t& port, int backlog = 5);
    static CUniqueSocket Accept(SocketHandle listener, Deadline deadline, Wait wait);
    // Closes with a reset instead of an orderly close.
    static void Reset(CUniqueSocket& socket);
    // Both ends of a loopback connection, in place of a socket pair (Windows
    // has none); false when it could not be made.
    static bool Pair(CUniqueSocket& one, CUniqueSocket& other);
    // A connection to address:port begun and not waited for, as a client
    // that never finishes its handshake or is never accepted leaves it.
    static CUniqueSocket BeginConnect(const char* address, uint16_t port);
    // True when the socket is readable (data, its end or an error) within
    // the time, which may be 0; never runs the thread's events.
    static bool Readable(SocketHandle fd, int timeoutMs = 0);
    // Leaves delayed-ACK mode for the next reads, so a peer waiting for our
    // ACK is not held back by our ACK timer.
    static void AcknowledgeAtOnce(SocketHandle fd);

    static bool WriteAll(SocketHandle fd, const char* bytes, int64_t size, Deadline deadline, Wait wait);
    // Reads and drops count bytes, never more: false on error, end or deadline.
    static bool ReadAtLeast(SocketHandle fd, int64_t count, Deadline deadline, Wait wait);
    // Reads until the peer closes, appending to keep when given: the byte
    // count, -1 on an error or kTimedOut (keep then holds what came).
    static int64_t ReadToEnd(SocketHandle fd, Deadline deadline, Wait wait, std::string* keep = nullptr, bool bQuickAck = false);
    // One receive of what is there after a wait: the count, 0 at the end, -1
    // on an error, kTimedOut at the deadline.
    static int64_t Receive(SocketHandle fd, char* buffer, int64_t size, Deadline deadline, Wait wait);

    // Moves the first whole line (without its CR LF) out of the buffer.
    static bool TakeLine(std::string& pending, std::string& line);
    // The data address a 227 reply names.
    static bool ParsePassive(const std::string& reply, std::string& host, uint16_t& port);
};
