// The main of every core test program: the test thread gets an event loop of
// its own before the first test, as the program's main thread has one, so that
// the servers the tests start on it accept and time there, and the tests'
// waits run it.

#include <gtest/gtest.h>

#include "platform/event_loop.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // On Windows GoogleTest watches each thread that reports a result with a
    // thread of its own, started at the first report. This one starts it for
    // the main thread now, before any test counts the process's threads.
    SUCCEED();
    CEventLoop loop;
    return RUN_ALL_TESTS();
}
