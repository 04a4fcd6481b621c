#pragma once

#include <gtest/gtest.h>

#include "busy_wait.h"

// Checks that hold once other threads or the test thread's own loop have
// done their part: the loop runs until the condition holds or the time is up,
// and only then is it checked, so a failure shows what was there at the end.
#define ASSERT_EVENTUALLY(condition, timeoutMs)                                                            \
    ASSERT_TRUE(CBusyWait::Until([&] { return static_cast<bool>(condition); }, timeoutMs)) << #condition

#define ASSERT_EQ_EVENTUALLY(actual, expected, timeoutMs)                                                  \
    do {                                                                                                   \
        CBusyWait::Until([&] { return (actual) == (expected); }, timeoutMs);                               \
        ASSERT_EQ(actual, expected);                                                                       \
    } while (false)
