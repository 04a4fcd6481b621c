#pragma once

#include "ftp_test_client.h"
#include "platform/unique_fd.h"

#include <chrono>
#include <cstdint>
#include <string>

// What the benchmark client and the loopback ceilings add to the test sockets: timing,
// the bulk send of a pattern (big blocks, no per-byte work, so that a ceiling measured
// with it also shows what the client itself can carry), and the client's session set-up.
namespace BenchData {

using Clock = CTestSocket::Clock;

// Every blocking call of the plain loops returns within this time, and the loops then
// check their deadline.
constexpr int kIdleTimeoutMs = 1000;
constexpr std::size_t kBulkBlock = 1 << 20;
constexpr CTestSocket::Wait kBlock = CTestSocket::Wait::Block;

Clock::time_point DeadlineIn(double seconds);
double SecondsSince(Clock::time_point start);
double MegabytesPerSecond(std::int64_t bytes, double seconds);

// Puts a receive and send timeout on a blocking socket.
void SetIdleTimeout(int fd, int milliseconds);
// A control connection as the benchmark client makes it: blocking waits, no Nagle delay,
// passive data connections to the control connection's address; then the greeting.
bool OpenClient(CFtpTestClient& client, int port, Clock::time_point deadline);
// USER anonymous, PASS, TYPE I.
bool LogIn(CFtpTestClient& client, Clock::time_point deadline);
// Reads and drops what arrives on fd until other has something to read (or fd ends, or the
// deadline passes).
void DrainUntilReadable(int fd, int other, Clock::time_point deadline);
// Sends total bytes of a fixed pattern in big blocks: false on error or deadline.
bool SendPattern(int fd, std::int64_t total, Clock::time_point deadline);

// A file of the given size filled with a pattern that is not all zeros.
bool MakeFile(const std::string& path, std::int64_t size);

} // namespace BenchData
