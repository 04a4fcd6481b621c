#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "eventually.h"
#include "platform/event_loop.h"
#include "platform/thread.h"
#include "platform/unique_socket.h"
#include "test_socket.h"

namespace {

using Clock = std::chrono::steady_clock;

// A loop thread whose tests hand it work by posting.
class CLoopThread : public CThread {
public:
    using CThread::Loop;
};

// Posts a task and waits until it has run on the thread.
void RunOn(CLoopThread& thread, const std::function<void()>& task)
{
    std::atomic<bool> bDone{false};
    ASSERT_TRUE(thread.PostThreadMessage([&] {
        task();
        bDone = true;
    }));
    ASSERT_EVENTUALLY(bDone.load(), 5000);
}

long long ThreadCpuMs()
{
    timespec used = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return used.tv_sec * 1000LL + used.tv_nsec / 1000000;
}

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Lives on one loop; its tasks must never run once it is gone.
struct Resident {
    CEventLoop::CResident residence;
    std::atomic<int>* pRuns;
    void Touch() { ++*pRuns; }
};

constexpr int kPostsPerPoster = 20000;

} // namespace

TEST(EventLoop, PostsFromOtherThreadsRunInOrderAndAreRefusedOnceClosed)
{
    CLoopThread thread;
    thread.ResumeThread();
    ASSERT_TRUE(thread.ThreadId() != 0);
    ASSERT_TRUE(thread.ThreadId() != CThread::CurrentThreadId());
    // Written on the loop thread only; read here once it is joined.
    std::vector<int> ran[2];
    std::vector<std::thread> posters;
    for (int poster = 0; poster < 2; ++poster) {
        posters.emplace_back([&thread, &ran, poster] {
            for (int i = 0; i < kPostsPerPoster; ++i)
                thread.PostThreadMessage([&ran, poster, i] { ran[poster].push_back(i); });
        });
    }
    for (std::thread& poster : posters)
        poster.join();
    thread.PostQuitMessage();
    ASSERT_TRUE(thread.Join(5000));
    for (const std::vector<int>& fromOne : ran) {
        ASSERT_EQ(static_cast<int>(fromOne.size()), kPostsPerPoster);
        for (int i = 0; i < kPostsPerPoster; ++i)
            ASSERT_EQ(fromOne[i], i);
    }
    // Closed: refused, and what the task holds is let go at once.
    const auto held = std::make_shared<int>(0);
    ASSERT_TRUE(!thread.PostThreadMessage([held] {}));
    ASSERT_EQ(held.use_count(), 1L);
}

TEST(EventLoop, NestedWaitRunsHandlersAndKeepsItsDeadlineWithoutSpinning)
{
    CLoopThread thread;
    thread.ResumeThread();
    bool bInnerRan = false;
    bool bSatisfied = false;
    bool bTimedOut = true;
    long long waitedMs = 0;
    long long cpuMs = 0;
    RunOn(thread, [&] {
        CEventLoop& loop = CEventLoop::Current();
        // Another thread's post runs inside this task's wait.
        std::thread poster([&thread, &bInnerRan] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            thread.PostThreadMessage([&bInnerRan] { bInnerRan = true; });
        });
        bSatisfied = loop.WaitUntil([&] { return bInnerRan; }, 5000);
        poster.join();
        // Nothing comes: the wait sleeps to its deadline and no further.
        const Clock::time_point start = Clock::now();
        const long long cpuStart = ThreadCpuMs();
        bTimedOut = !loop.WaitUntil([] { return false; }, 300);
        waitedMs = MsSince(start);
        cpuMs = ThreadCpuMs() - cpuStart;
    });
    thread.PostQuitMessage();
    ASSERT_TRUE(thread.Join(5000));
    ASSERT_TRUE(bSatisfied);
    ASSERT_TRUE(bInnerRan);
    ASSERT_TRUE(bTimedOut);
    ASSERT_TRUE(waitedMs >= 300 && waitedMs < 1000) << waitedMs;
    ASSERT_TRUE(cpuMs < 50) << cpuMs;
}

// A stop request reaches a thread deep in a wait before its own turn comes.
TEST(EventLoop, NestedWaitGivesUpWhenTheThreadIsToldToQuit)
{
    CLoopThread thread;
    thread.ResumeThread();
    std::atomic<bool> bWaiting{false};
    std::atomic<bool> bGaveUp{false};
    ASSERT_TRUE(thread.PostThreadMessage([&] {
        bWaiting = true;
        bGaveUp = !CEventLoop::Current().WaitUntil([] { return false; }, 60000);
    }));
    ASSERT_EVENTUALLY(bWaiting.load(), 5000);
    const Clock::time_point start = Clock::now();
    thread.PostQuitMessage();
    ASSERT_TRUE(thread.Join(5000));
    ASSERT_TRUE(bGaveUp.load());
    ASSERT_TRUE(MsSince(start) < 1000);
}

TEST(EventLoop, TimersFireOnceInDeadlineOrderAndCancelledOnesNever)
{
    CLoopThread thread;
    thread.ResumeThread();
    std::string fired;
    RunOn(thread, [&] {
        CEventLoop& loop = CEventLoop::Current();
        loop.StartTimer(60, [&] { fired += 'c'; });
        loop.StartTimer(10, [&] { fired += 'a'; });
        const int cancelled = loop.StartTimer(30, [&] { fired += 'x'; });
        loop.StartTimer(40, [&] { fired += 'b'; });
        loop.CancelTimer(cancelled);
        // Due together: the first cancels the second, which then never runs.
        int second = 0;
        loop.StartTimer(50, [&] { loop.CancelTimer(second); });
        second = loop.StartTimer(50, [&] { fired += 'y'; });
        loop.WaitUntil([] { return false; }, 250);
    });
    thread.PostQuitMessage();
    ASSERT_TRUE(thread.Join(5000));
    ASSERT_EQ(fired, std::string("abc"));
}

// Two readable descriptors reported in one round: whichever is delivered
// first stops the other, closes it, and watches a new descriptor that gets
// the same number. The event already gathered for the old one reaches
// neither it nor the newcomer, which has nothing to read.
TEST(EventLoop, StaleReadinessOfAStoppedOrReusedDescriptorIsNotDelivered)
{
    CLoopThread thread;
    thread.ResumeThread();
    int delivered = 0;
    int newcomerNotified = 0;
    bool bReused = false;
    RunOn(thread, [&] {
        CEventLoop& loop = CEventLoop::Current();
        CUniqueSocket ends[2][2];
        ASSERT_TRUE(CTestSocket::Pair(ends[0][0], ends[0][1]));
        ASSERT_TRUE(CTestSocket::Pair(ends[1][0], ends[1][1]));
        CUniqueSocket newcomer[2];
        // Made before the close, so that the newcomer is first in line for
        // the number.
        uint16_t port = 0;
        const CUniqueSocket listener = CTestSocket::Listen("127.0.0.1", port);
        std::uint64_t watches[2] = {};
        std::uint64_t newcomerWatch = 0;
        for (int i = 0; i < 2; ++i) {
            watches[i] = loop.Watch(ends[i][0].Get(), true, false, [&, i](CEventLoop::Readiness) {
                ++delivered;
                const int other = 1 - i;
                loop.Unwatch(watches[i]);
                loop.Unwatch(watches[other]);
                const SocketHandle number = ends[other][0].Get();
                ends[other][0].Reset();
                const CTestSocket::Deadline deadline = CTestSocket::DeadlineIn(CTestSocket::kDeadlineMs);
                newcomer[0] = CTestSocket::Connect("127.0.0.1", port, deadline, CTestSocket::Wait::Block);
                newcomer[1] = CTestSocket::Accept(listener.Get(), deadline, CTestSocket::Wait::Block);
                bReused = newcomer[0].Get() == number || newcomer[1].Get() == number;
                const SocketHandle reused = newcomer[0].Get() == number ? newcomer[0].Get() : newcomer[1].Get();
                newcomerWatch = loop.Watch(reused, true, false, [&](CEventLoop::Readiness) { ++newcomerNotified; });
            });
            ::send(ends[i][1].Get(), "x", 1, MSG_NOSIGNAL);
        }
        loop.RunPending();
        loop.WaitUntil([] { return false; }, 50);
        // Before the newcomer's ends close: the end of its connection is
        // news that this test does not count.
        loop.Unwatch(newcomerWatch);
    });
    thread.PostQuitMessage();
    ASSERT_TRUE(thread.Join(5000));
    ASSERT_TRUE(bReused);
    ASSERT_EQ(delivered, 1);
    ASSERT_EQ(newcomerNotified, 0);
}

// Posted from another thread while the object lives, taken after it is
// gone: the task is dropped; one for an object still there runs.
TEST(EventLoop, PostsForAResidentNeverRunOnceItIsGone)
{
    CLoopThread thread;
    thread.ResumeThread();
    std::atomic<int> goneRuns{0};
    std::atomic<int> keptRuns{0};
    std::unique_ptr<Resident> gone;
    std::unique_ptr<Resident> kept;
    RunOn(thread, [&] {
        gone.reset(new Resident{{}, &goneRuns});
        kept.reset(new Resident{{}, &keptRuns});
    });
    std::atomic<bool> bRelease{false};
    // Holds the thread, so that the posts below wait behind the deletion.
    ASSERT_TRUE(thread.PostThreadMessage([&] {
        while (!bRelease)
            std::this_thread::yield();
        gone.reset();
    }));
    Resident* pGone = gone.get();
    ASSERT_TRUE(pGone->residence.Post([pGone] { pGone->Touch(); }));
    Resident* pKept = kept.get();
    ASSERT_TRUE(pKept->residence.Post([pKept] { pKept->Touch(); }));
    bRelease = true;
    ASSERT_EQ_EVENTUALLY(keptRuns.load(), 1, 5000);
    RunOn(thread, [&] { kept.reset(); });
    thread.PostQuitMessage();
    ASSERT_TRUE(thread.Join(5000));
    ASSERT_EQ(goneRuns.load(), 0);
}

// Windows has no such descriptor: there the loop is a window of its
// thread, which every message loop of the thread serves.
#ifndef _WIN32
// The main thread's loop is driven by the window's, which learns of work only
// from the loop's descriptor: a task the thread posted to itself during a
// wait that then ended must leave that descriptor readable.
TEST(EventLoop, ATaskPostedToItselfInAWaitStillWakesTheLoopAfterIt)
{
    CEventLoop& loop = CEventLoop::Current();
    loop.RunPending();
    bool bPosted = false;
    bool bRan = false;
    loop.StartTimer(0, [&] {
        ASSERT_TRUE(loop.Post([&bRan] { bRan = true; }));
        bPosted = true;
    });
    ASSERT_TRUE(loop.WaitUntil([&] { return bPosted; }, 5000));
    ASSERT_TRUE(!bRan);
    pollfd ready = {loop.Descriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 0), 1);
    loop.RunPending();
    ASSERT_TRUE(bRan);
}
#endif
