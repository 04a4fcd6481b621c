#include "fuzz_require.h"

#include <cstdio>
#include <cstdlib>

void CFuzzRequire::That(bool bCondition, const char* what, std::string_view detail)
{
    if (bCondition)
        return;
    std::fprintf(stderr, "violated: %s%s%.*s\n", what, detail.empty() ? "" : ": ", static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}
