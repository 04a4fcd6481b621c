#include "platform/byte_string.h"

#include <algorithm>
#include <cstring>

namespace ByteString {

// Decimal text to a number as the C library's atoi/atoll read it: leading
// white space, an optional sign, digits up to the first other byte; no digits
// give 0. Out-of-range values saturate instead of overflowing.
int64_t DecimalValue(std::string_view text, int64_t minimum, int64_t maximum)
{
    size_t i = 0;
    while (i < text.size() && std::strchr(" \t\n\v\f\r", text[i]) != nullptr && text[i] != '\0')
        ++i;
    bool bNegative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        bNegative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (maximum - digit) / 10) {
            value = maximum;
            break;
        }
        value = value * 10 + digit;
    }
    return bNegative ? std::max(-value, minimum) : value;
}

} // namespace ByteString
