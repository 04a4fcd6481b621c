#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the core needs of byte strings beyond the standard library. Free
// functions that keep no state; usable from any thread. They work on bytes,
// so for Big5 text only where the separator can never be a trail byte.
namespace ByteString {

// The pieces between the separators, empty ones included: "a,,b" gives three
// and "" gives one empty piece, so a count of fields is the count typed.
inline std::vector<std::string> Split(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t end = text.find(separator); end != std::string_view::npos; end = text.find(separator, start)) {
        pieces.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    pieces.emplace_back(text.substr(start));
    return pieces;
}

// Decimal text to a number as the C library's atoi/atoll read it
// (saturating at the bounds instead of overflowing).
int64_t DecimalValue(std::string_view text, int64_t minimum, int64_t maximum);

} // namespace ByteString
