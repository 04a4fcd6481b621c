#include "server/session_hub.h"

#include <algorithm>
#include <iterator>

#include "platform/event_loop.h"
#include "server/server_settings.h"

CSessionHub::CSessionHub(std::shared_ptr<const CServerSettings> pSettings) : m_pSettings(std::move(pSettings)) {}

void CSessionHub::SetReceiver(CEventLoop* pContext, Receiver receiver)
{
    std::lock_guard lock(m_QueueLock);
    m_pContext = pContext;
    m_Receiver = std::move(receiver);
    // Whatever was pending belonged to the old context's event loop.
    m_bDeliveryPosted = false;
    m_bCollecting = false;
    if (!m_Queue.empty())
        PostDelivery();
}

void CSessionHub::PostClientConnected(const std::string& address, uint32_t threadId)
{
    Post(Kind::Connected, address, threadId);
}

void CSessionHub::PostClientDisconnected(const std::string& address, uint32_t threadId)
{
    Post(Kind::Disconnected, address, threadId);
}

void CSessionHub::PostServerLog(const std::string& text, uint32_t threadId)
{
    Post(Kind::Log, text, threadId);
}

int CSessionHub::RightValue(Right right) const
{
    return m_pSettings->RightValue(right);
}

std::string CSessionHub::HomeDirectory() const
{
    return m_pSettings->HomeDirectory();
}

void CSessionHub::Unregister(CClientThread* thread)
{
    Remove(thread);
}

void CSessionHub::Register(CClientThread* thread)
{
    std::lock_guard lock(m_ThreadListLock);
    m_ThreadList.push_back(thread);
}

CClientThread* CSessionHub::FirstSession() const
{
    std::lock_guard lock(m_ThreadListLock);
    return m_ThreadList.empty() ? nullptr : m_ThreadList.front();
}

void CSessionHub::Remove(CClientThread* thread)
{
    std::lock_guard lock(m_ThreadListLock);
    if (const auto found = std::ranges::find(m_ThreadList, thread); found != m_ThreadList.end())
        m_ThreadList.erase(found);
}

int CSessionHub::SessionCount() const
{
    std::lock_guard lock(m_ThreadListLock);
    return static_cast<int>(m_ThreadList.size());
}

void CSessionHub::Post(Kind kind, const std::string& text, uint32_t threadId)
{
    std::lock_guard lock(m_QueueLock);
    if (m_pContext == nullptr)
        return;
    m_Queue.push_back({kind, text, threadId});
    if (!m_bDeliveryPosted && !m_bCollecting)
        PostDelivery();
}

// Under m_QueueLock: the context is cleared under this lock before it is
// destroyed, so it is alive here.
void CSessionHub::PostDelivery()
{
    m_bDeliveryPosted = m_pContext != nullptr;
    if (!m_bDeliveryPosted)
        return;
    std::weak_ptr<CSessionHub> weakSelf = weak_from_this();
    m_pContext->Post([weakSelf] {
        if (const std::shared_ptr<CSessionHub> self = weakSelf.lock())
            self->Deliver();
    });
}

void CSessionHub::Deliver()
{
    std::vector<Notification> batch;
    Receiver receiver;
    CEventLoop* pCollectContext = nullptr;
    {
        std::lock_guard lock(m_QueueLock);
        const size_t count = std::min(m_Queue.size(), kMaxDeliveredPerTurn);
        batch.assign(std::make_move_iterator(m_Queue.begin()), std::make_move_iterator(m_Queue.begin() + count));
        m_Queue.erase(m_Queue.begin(), m_Queue.begin() + count);
        receiver = m_Receiver;
        m_bDeliveryPosted = false;
        m_bCollecting = false;
        // What is left goes after the window's own events that came meanwhile.
        if (!m_Queue.empty())
            PostDelivery();
        else if (!batch.empty() && m_pContext != nullptr) {
            // Sessions are busy: look again shortly rather than be woken by each of them.
            m_bCollecting = true;
            pCollectContext = m_pContext;
        }
    }
    if (pCollectContext != nullptr)
        CollectLater(pCollectContext);
    if (!receiver)
        return;
    for (const Notification& notification : batch)
        receiver(notification);
}

bool CSessionHub::IsCollecting() const
{
    std::lock_guard lock(m_QueueLock);
    return m_bCollecting;
}

// Main thread, where the context lives: the timer goes with its loop.
void CSessionHub::CollectLater(CEventLoop* pContext)
{
    std::weak_ptr<CSessionHub> weakSelf = weak_from_this();
    pContext->StartTimer(kCollectIntervalMs, [weakSelf] {
        if (const std::shared_ptr<CSessionHub> self = weakSelf.lock())
            self->Deliver();
    });
}
