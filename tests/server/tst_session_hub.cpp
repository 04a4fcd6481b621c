#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "eventually.h"
#include "platform/event_loop.h"
#include "server/server_settings.h"
#include "server/session_hub.h"
#include "test_socket.h"

// The road of the sessions' notifications to the main thread under a flood.

namespace {

std::shared_ptr<CSessionHub> MakeHub()
{
    return std::make_shared<CSessionHub>(std::make_shared<CServerSettings>());
}

} // namespace

TEST(SessionHub, FloodArrivesCompleteAndInOrder)
{
    constexpr int kPerThread = 2 * static_cast<int>(CSessionHub::kMaxDeliveredPerTurn) + 7;
    auto hub = MakeHub();
    CEventLoop& context = CEventLoop::Current();
    std::vector<int> next(2, 0);
    int delivered = 0;
    bool bInOrder = true;
    hub->SetReceiver(&context, [&](const CSessionHub::Notification& notification) {
        int& expected = next[notification.threadId];
        bInOrder = bInOrder && notification.text == std::to_string(expected);
        ++expected;
        ++delivered;
    });
    std::vector<std::thread> sessions;
    for (uint32_t id = 0; id < 2; ++id)
        sessions.emplace_back([&hub, id] {
            for (int i = 0; i < kPerThread; ++i)
                hub->PostServerLog(std::to_string(i), id);
        });
    for (std::thread& session : sessions)
        session.join();
    ASSERT_EQ_EVENTUALLY(delivered, 2 * kPerThread, CTestSocket::kDeadlineMs);
    ASSERT_TRUE(bInOrder);
}

TEST(SessionHub, FloodLeavesRoomForTheWindowsOwnEvents)
{
    const int turn = static_cast<int>(CSessionHub::kMaxDeliveredPerTurn);
    auto hub = MakeHub();
    CEventLoop& context = CEventLoop::Current();
    int delivered = 0;
    hub->SetReceiver(&context, [&](const CSessionHub::Notification&) { ++delivered; });
    for (int i = 0; i < 3 * turn; ++i)
        hub->PostServerLog("x", 1);
    // Posted after the flood, handled after its first turn only.
    int deliveredBeforeOwnEvent = -1;
    context.Post([&] { deliveredBeforeOwnEvent = delivered; });
    ASSERT_EQ_EVENTUALLY(delivered, 3 * turn, CTestSocket::kDeadlineMs);
    ASSERT_EQ(deliveredBeforeOwnEvent, turn);
}

// While sessions keep posting, the main thread only looks every few
// milliseconds; what is posted at the end of such a spell, and after it, must
// still arrive on its own, with nothing posted after it.
TEST(SessionHub, StragglersArriveWithoutFurtherPosts)
{
    auto hub = MakeHub();
    CEventLoop& context = CEventLoop::Current();
    std::vector<std::string> texts;
    hub->SetReceiver(&context, [&](const CSessionHub::Notification& notification) { texts.push_back(notification.text); });
    hub->PostServerLog("first", 1);
    ASSERT_EQ_EVENTUALLY(texts.size(), 1u, CTestSocket::kDeadlineMs);
    // Within the collecting spell that the first delivery opened.
    hub->PostServerLog("second", 1);
    ASSERT_EQ_EVENTUALLY(texts.size(), 2u, CTestSocket::kDeadlineMs);
    // After it, when the spell has run out.
    ASSERT_EVENTUALLY(!hub->IsCollecting(), CTestSocket::kDeadlineMs);
    hub->PostServerLog("third", 1);
    ASSERT_EQ_EVENTUALLY(texts.size(), 3u, CTestSocket::kDeadlineMs);
    ASSERT_EQ(texts, std::vector<std::string>({"first", "second", "third"}));
}

// A receiver set while notifications wait (the old one's event loop may never
// run them) is handed them.
TEST(SessionHub, NewReceiverGetsWhatWasPending)
{
    auto hub = MakeHub();
    int delivered = 0;
    {
        // The loop of a thread that has gone: it never runs again.
        std::unique_ptr<CEventLoop> oldContext;
        std::thread([&oldContext] { oldContext = std::make_unique<CEventLoop>(); }).join();
        hub->SetReceiver(oldContext.get(), [](const CSessionHub::Notification&) {});
        hub->PostServerLog("waiting", 1);
        hub->SetReceiver(nullptr, nullptr);
    }
    CEventLoop& context = CEventLoop::Current();
    hub->PostServerLog("dropped while no one listens", 1);
    hub->SetReceiver(&context, [&](const CSessionHub::Notification&) { ++delivered; });
    ASSERT_EQ_EVENTUALLY(delivered, 1, CTestSocket::kDeadlineMs);
}
