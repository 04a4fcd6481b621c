#include "fuzz_require.h"

#include <cstdio>
#include <cstdlib>

void CFuzzRequire::That(bool bCondition, const char* what, const QByteArray& detail)
{
    if (bCondition)
        return;
    std::fprintf(stderr, "violated: %s%s%s\n", what, detail.isEmpty() ? "" : ": ", detail.constData());
    std::abort();
}
