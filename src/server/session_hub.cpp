#include "server/session_hub.h"

#include "server/server_settings.h"

CSessionHub::CSessionHub(std::shared_ptr<const CServerSettings> pSettings) : m_pSettings(std::move(pSettings)) {}

void CSessionHub::SetReceiver(QObject* pContext, Receiver receiver)
{
    std::lock_guard lock(m_QueueLock);
    m_pContext = pContext;
    m_Receiver = std::move(receiver);
}

void CSessionHub::PostClientConnected(const QByteArray& address, quint32 threadId)
{
    Post(Kind::Connected, address, threadId);
}

void CSessionHub::PostClientDisconnected(const QByteArray& address, quint32 threadId)
{
    Post(Kind::Disconnected, address, threadId);
}

void CSessionHub::PostServerLog(const QByteArray& text, quint32 threadId)
{
    Post(Kind::Log, text, threadId);
}

int CSessionHub::RightValue(Right right) const
{
    return m_pSettings->RightValue(right);
}

QByteArray CSessionHub::HomeDirectory() const
{
    return m_pSettings->HomeDirectory().toUtf8();
}

void CSessionHub::Unregister(CClientThread* thread)
{
    Remove(thread);
}

void CSessionHub::Register(CClientThread* thread)
{
    std::lock_guard lock(m_ThreadListLock);
    m_ThreadList.append(thread);
}

CClientThread* CSessionHub::FirstSession() const
{
    std::lock_guard lock(m_ThreadListLock);
    return m_ThreadList.isEmpty() ? nullptr : m_ThreadList.first();
}

void CSessionHub::Remove(CClientThread* thread)
{
    std::lock_guard lock(m_ThreadListLock);
    m_ThreadList.removeOne(thread);
}

int CSessionHub::SessionCount() const
{
    std::lock_guard lock(m_ThreadListLock);
    return static_cast<int>(m_ThreadList.size());
}

void CSessionHub::Post(Kind kind, const QByteArray& text, quint32 threadId)
{
    std::lock_guard lock(m_QueueLock);
    if (m_pContext == nullptr)
        return;
    m_Queue.push_back({kind, text, threadId});
    if (m_Queue.size() > 1)
        return;
    // The first notification of a batch posts the delivery; the context is
    // cleared under this lock before it is destroyed, so it is alive here.
    std::weak_ptr<CSessionHub> weakSelf = weak_from_this();
    QMetaObject::invokeMethod(
        m_pContext,
        [weakSelf] {
            if (const std::shared_ptr<CSessionHub> self = weakSelf.lock())
                self->Deliver();
        },
        Qt::QueuedConnection);
}

void CSessionHub::Deliver()
{
    std::vector<Notification> batch;
    Receiver receiver;
    {
        std::lock_guard lock(m_QueueLock);
        batch.swap(m_Queue);
        receiver = m_Receiver;
    }
    if (!receiver)
        return;
    for (const Notification& notification : batch)
        receiver(notification);
}
