#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "session/session_host.h"

class CEventLoop;
class CServerSettings;

// What the sessions share with the server: the registry of live session
// threads and its lock, the settings, and the road of their notifications to
// the main thread. Sessions hold it by shared ownership, so it outlives the
// window for a session that was not stopped in time. Notifications are
// queued under a short lock and delivered in batches, in order, on the main
// thread: one posted event carries the notifications queued meanwhile, at
// most kMaxDeliveredPerTurn of them, so that a flood of log texts never keeps
// the window from its own events for long. The first notification after a
// quiet spell wakes the main thread at once; while sessions keep posting, the
// main thread collects them every kCollectIntervalMs instead of being woken
// for each, which with thousands of short sessions a second is most of what
// it would otherwise spend.
class CSessionHub : public ISessionHost, public std::enable_shared_from_this<CSessionHub> {
public:
    enum class Kind { Connected, Disconnected, Log };
    struct Notification {
        Kind kind;
        std::string text;
        uint32_t threadId;
    };
    using Receiver = std::function<void(const Notification&)>;
    static constexpr size_t kMaxDeliveredPerTurn = 8192;
    // Well within what a person can see, and an eighth of the wake-ups of
    // the main thread that a flood of short transfers once cost at 2 ms.
    static constexpr int kCollectIntervalMs = 16;

    explicit CSessionHub(std::shared_ptr<const CServerSettings> pSettings);

    // Main thread: where notifications go, through the main thread's loop;
    // a null loop stops delivery (the window is going away).
    void SetReceiver(CEventLoop* pContext, Receiver receiver);

    void PostClientConnected(const std::string& address, uint32_t threadId) override;
    void PostClientDisconnected(const std::string& address, uint32_t threadId) override;
    void PostServerLog(const std::string& text, uint32_t threadId) override;
    int RightValue(Right right) const override;
    std::string HomeDirectory() const override;
    void Unregister(CClientThread* thread) override;

    // Main thread: hands the receiver what is queued (one turn's worth) now.
    void Deliver();
    // Whether the main thread is collecting instead of being woken by posts.
    bool IsCollecting() const;

    // The registry, under its lock.
    void Register(CClientThread* thread);
    CClientThread* FirstSession() const;
    void Remove(CClientThread* thread);
    int SessionCount() const;

private:
    void Post(Kind kind, const std::string& text, uint32_t threadId);
    void PostDelivery();
    void CollectLater(CEventLoop* pContext);

    std::shared_ptr<const CServerSettings> m_pSettings;

    mutable std::mutex m_ThreadListLock;
    std::vector<CClientThread*> m_ThreadList;

    mutable std::mutex m_QueueLock;
    std::deque<Notification> m_Queue;
    bool m_bDeliveryPosted = false;
    // A collection is due on the main thread: posting needs not wake it.
    bool m_bCollecting = false;
    CEventLoop* m_pContext = nullptr;
    Receiver m_Receiver;
};
