#pragma once

#include "platform/unique_fd.h"

#include <chrono>
#include <cstdint>
#include <string>

// Socket plumbing shared by the benchmark client and the loopback ceilings: bounded
// connects, and the client's bulk receive and send loops (big buffers, no per-byte work),
// so that a ceiling measured with them also shows what the client itself can carry.
namespace BenchData {

using Clock = std::chrono::steady_clock;

// Every blocking call returns within this time, and the loops then check their deadline.
constexpr int kIdleTimeoutMs = 1000;
constexpr std::size_t kBulkBlock = 1 << 20;

Clock::time_point DeadlineIn(double seconds);
double SecondsSince(Clock::time_point start);
double MegabytesPerSecond(std::int64_t bytes, double seconds);

// Puts a receive and send timeout on a blocking socket.
void SetIdleTimeout(int fd, int milliseconds);
// Connects to 127.0.0.1:port within the deadline; an invalid descriptor on failure.
// Control connections ask for no Nagle delay; bulk data connections keep it, so a sender
// fills whole segments.
CUniqueFd ConnectLoopback(int port, Clock::time_point deadline, bool bNoDelay = false);
// A listener on 127.0.0.1 with a port chosen by the system.
CUniqueFd ListenLoopback(int& port);
CUniqueFd AcceptWithin(int listener, Clock::time_point deadline);

// Leaves delayed-ACK mode for the next reads: a sender that lingers on close, or waits
// for our ACK before its next small segment, is then not held back by our ACK timer.
void AcknowledgeAtOnce(int fd);
// Reads until the peer closes: the byte count, or -1 on error or deadline. A server that
// lingers on close waits for the ACK of its last bytes; with bQuickAck it gets it at once.
std::int64_t ReceiveToEnd(int fd, Clock::time_point deadline, bool bQuickAck = true);
// Reads and drops at least count bytes: false on error, end or deadline.
bool ReceiveAtLeast(int fd, std::int64_t count, Clock::time_point deadline);
// Reads and drops what arrives on fd until other has something to read (or fd ends, or the
// deadline passes).
void DrainUntilReadable(int fd, int other, Clock::time_point deadline);
// Sends total bytes of a fixed pattern in big blocks: false on error or deadline.
bool SendPattern(int fd, std::int64_t total, Clock::time_point deadline);

// A file of the given size filled with a pattern that is not all zeros.
bool MakeFile(const std::string& path, std::int64_t size);

} // namespace BenchData
