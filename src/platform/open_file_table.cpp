#include "platform/open_file_table.h"

#include <cassert>

COpenFileTable::CLease::CLease(CLease&& other) noexcept
    : m_pTable(std::exchange(other.m_pTable, nullptr)), m_Key(other.m_Key), m_Usage(other.m_Usage)
{
}

COpenFileTable::CLease& COpenFileTable::CLease::operator=(CLease&& other) noexcept
{
    if (this != &other) {
        Release();
        m_pTable = std::exchange(other.m_pTable, nullptr);
        m_Key = other.m_Key;
        m_Usage = other.m_Usage;
    }
    return *this;
}

COpenFileTable::CLease::~CLease()
{
    Release();
}

void COpenFileTable::CLease::Release()
{
    if (m_pTable != nullptr)
        std::exchange(m_pTable, nullptr)->Leave(m_Key, m_Usage);
}

COpenFileTable& COpenFileTable::Instance()
{
    static COpenFileTable table;
    return table;
}

void COpenFileTable::Count(Openers& openers, const Usage& usage, int step)
{
    openers.nOpeners += step;
    openers.nReaders += usage.bRead ? step : 0;
    openers.nWriters += usage.bWrite ? step : 0;
    openers.nDenyRead += usage.bShareRead ? 0 : step;
    openers.nDenyWrite += usage.bShareWrite ? 0 : step;
}

COpenFileTable::CLease COpenFileTable::Acquire(uint64_t device, uint64_t inode, const Usage& usage)
{
    const Key key(device, inode);
    std::lock_guard<std::mutex> lock(m_Lock);
    Openers& openers = m_Files[key];
    // Both sides must agree: the newcomer may not do what an opener denies,
    // and no opener may already be doing what the newcomer denies.
    const bool bRefused = (usage.bRead && openers.nDenyRead > 0) || (usage.bWrite && openers.nDenyWrite > 0)
        || (!usage.bShareRead && openers.nReaders > 0) || (!usage.bShareWrite && openers.nWriters > 0);
    if (bRefused) {
        if (openers.nOpeners == 0)
            m_Files.erase(key);
        return CLease();
    }
    Count(openers, usage, 1);
    return CLease(this, key, usage);
}

void COpenFileTable::Leave(const Key& key, const Usage& usage)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    const auto found = m_Files.find(key);
    assert(found != m_Files.end() && "lease of a file the table does not hold");
    if (found == m_Files.end())
        return;
    Count(found->second, usage, -1);
    if (found->second.nOpeners == 0)
        m_Files.erase(found);
}
