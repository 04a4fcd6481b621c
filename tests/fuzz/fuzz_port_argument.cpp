// The PORT argument and the decimal reader behind PORT and REST: arbitrary
// bytes never crash them, never overflow, and a well-formed address always
// parses to exactly what it says.

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_require.h"
#include "platform/byte_string.h"
#include "session/control_socket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string argument(reinterpret_cast<const char*>(data), size);
    std::string host = "unchanged";
    int port = -1;
    CDataChannel::ApplyPortArgument(argument, host, port);
    Require(host.size() <= argument.size() + 4, "the host text comes from the argument");

    const int64_t value = ByteString::DecimalValue(argument, LLONG_MIN, LLONG_MAX);
    const int64_t small = ByteString::DecimalValue(argument, INT_MIN, INT_MAX);
    Require(small >= INT_MIN && small <= INT_MAX, "the reader saturates at its bounds");
    Require((value < 0) == (small < 0) || value == 0 || small == 0, "both bounds agree on the sign");

    // Six numbers built from the input must come back exactly.
    if (size >= 6) {
        int numbers[6];
        std::string wellFormed;
        for (int i = 0; i < 6; ++i) {
            numbers[i] = data[i];
            wellFormed += std::to_string(numbers[i]) + (i < 5 ? "," : "");
        }
        std::string parsedHost;
        int parsedPort = -1;
        CDataChannel::ApplyPortArgument(wellFormed, parsedHost, parsedPort);
        const std::string expectedHost = std::to_string(numbers[0]) + '.' + std::to_string(numbers[1]) + '.'
                                         + std::to_string(numbers[2]) + '.' + std::to_string(numbers[3]);
        Require(parsedHost == expectedHost, "a well-formed address parses exactly");
        Require(parsedPort == numbers[4] * 256 + numbers[5], "a well-formed port parses exactly");
    }
    return 0;
}
