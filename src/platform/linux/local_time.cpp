#include "platform/local_time.h"

tm CLocalTime::Of(int64_t nSeconds)
{
    const time_t seconds = static_cast<time_t>(nSeconds);
    tm local {};
    if (!localtime_r(&seconds, &local))
        local = tm {};
    return local;
}
