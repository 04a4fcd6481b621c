#include "fake_session_host.h"

void CFakeSessionHost::PostClientConnected(const std::string& address, uint32_t threadId)
{
    Record(Kind::Connected, address, threadId);
}

void CFakeSessionHost::PostClientDisconnected(const std::string& address, uint32_t threadId)
{
    Record(Kind::Disconnected, address, threadId);
}

void CFakeSessionHost::PostServerLog(const std::string& text, uint32_t threadId)
{
    Record(Kind::Log, text, threadId);
}

int CFakeSessionHost::RightValue(Right right) const
{
    std::lock_guard lock(m_Lock);
    const auto found = m_Rights.find(right);
    return found == m_Rights.end() ? 0 : found->second;
}

std::string CFakeSessionHost::HomeDirectory() const
{
    std::lock_guard lock(m_Lock);
    return m_strHome;
}

void CFakeSessionHost::Unregister(CClientThread*)
{
    std::lock_guard lock(m_Lock);
    ++m_nUnregistered;
}

void CFakeSessionHost::SetRight(Right right, int value)
{
    std::lock_guard lock(m_Lock);
    m_Rights[right] = value;
}

void CFakeSessionHost::SetHomeDirectory(const std::string& home)
{
    std::lock_guard lock(m_Lock);
    m_strHome = home;
}

std::vector<CFakeSessionHost::Event> CFakeSessionHost::Events() const
{
    std::lock_guard lock(m_Lock);
    return m_Events;
}

std::vector<std::string> CFakeSessionHost::LogTexts() const
{
    std::lock_guard lock(m_Lock);
    std::vector<std::string> texts;
    for (const Event& event : m_Events) {
        if (event.kind == Kind::Log)
            texts.push_back(event.text);
    }
    return texts;
}

int CFakeSessionHost::CountOf(Kind kind) const
{
    std::lock_guard lock(m_Lock);
    int count = 0;
    for (const Event& event : m_Events)
        count += event.kind == kind ? 1 : 0;
    return count;
}

int CFakeSessionHost::UnregisterCount() const
{
    std::lock_guard lock(m_Lock);
    return m_nUnregistered;
}

void CFakeSessionHost::Record(Kind kind, const std::string& text, uint32_t threadId)
{
    std::lock_guard lock(m_Lock);
    m_Events.push_back({kind, text, threadId});
}
