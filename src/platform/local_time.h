#pragma once

#include <cstdint>
#include <ctime>

// The calendar time of a moment in the user's time zone, as listings show a
// file's time. Usable from any thread.
class CLocalTime {
public:
    // All fields zero when the system cannot place the moment.
    static tm Of(int64_t nSeconds);
};
