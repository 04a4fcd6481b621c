#pragma once

#include <string>
#include <string_view>

// Code page 950 (Big5) to and from UTF-8 through the system's own tables:
// iconv's "CP950" on Linux, the system's code page 950 on Windows. What to do
// with input that cannot be converted is the caller's (CBig5Text's) rule, so
// the same on both systems. Usable from any thread.
class CCodePage950 {
public:
    enum class Direction { ToUtf8, FromUtf8 };

    // Appends the conversion of input to output up to the first sequence
    // that cannot be converted, and leaves input starting there: true when
    // all of it was converted, false when it stopped (or no conversion is
    // available at all, which leaves input whole).
    static bool ConvertUntilBad(Direction direction, std::string_view& input, std::string& output);
};
