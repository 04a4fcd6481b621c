#include "platform/local_time.h"

tm CLocalTime::Of(int64_t nSeconds)
{
    const time_t seconds = static_cast<time_t>(nSeconds);
    tm local {};
    if (localtime_s(&local, &seconds) != 0)
        local = tm {};
    return local;
}
