#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/thread.h"

namespace {

// Ends its loop by itself as soon as the loop runs, as a session does that
// gives up on its own while others still post to it.
class CSelfEndingThread : public CThread {
protected:
    bool InitInstance() override
    {
        Loop().StartTimer(0, [this] { Loop().Quit(); });
        return true;
    }
};

constexpr int kRounds = 200;
constexpr int kMostPosts = 1000000;

} // namespace

// Posting while the thread ends: a post either runs in its turn or is
// refused, and none wakes a loop that is being torn down (which crashed the
// poster now and then, and which the race detector reports).
TEST(Thread, PostsRacingTheThreadsEndRunInOrderOrAreRefused)
{
    for (int round = 0; round < kRounds; ++round) {
        CSelfEndingThread thread;
        // Written by the messages on the thread, read here once it is joined.
        std::vector<int> ran;
        thread.ResumeThread();
        int posted = 0;
        while (posted < kMostPosts && thread.PostThreadMessage([&ran, posted] { ran.push_back(posted); }))
            ++posted;
        ASSERT_TRUE(posted < kMostPosts);
        ASSERT_TRUE(thread.Join(5000));
        ASSERT_TRUE(static_cast<int>(ran.size()) <= posted);
        for (int i = 0; i < static_cast<int>(ran.size()); ++i)
            ASSERT_EQ(ran[i], i);
        // Refused: the message is dropped, and what it holds with it.
        const auto held = std::make_shared<int>(0);
        ASSERT_TRUE(!thread.PostThreadMessage([held] {}));
        ASSERT_EQ(held.use_count(), 1L);
    }
}
