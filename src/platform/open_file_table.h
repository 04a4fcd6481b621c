#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

// The files that transfers of this process hold open, keyed by device and
// inode, with how each opener uses the file and what it lets others do
// meanwhile. It gives the sessions sharing rules that the file system here
// does not enforce: downloads let other downloads read the same file but
// nobody write it, an upload lets others read but not write, so no download
// starts on a file being uploaded. Any thread may use it.
class COpenFileTable {
public:
    // How one opener uses a file, and what it allows other openers to do.
    struct Usage {
        bool bRead = false;
        bool bWrite = false;
        bool bShareRead = false;
        bool bShareWrite = false;
    };

    using Key = std::pair<uint64_t, uint64_t>; // device, inode

    // One opener's place in the table; leaving it (destruction or Release)
    // lets others open the file again. Empty when the open was refused.
    class CLease {
    public:
        CLease() = default;
        CLease(CLease&& other) noexcept;
        CLease& operator=(CLease&& other) noexcept;
        ~CLease();
        CLease(const CLease&) = delete;
        CLease& operator=(const CLease&) = delete;

        bool IsHeld() const { return m_pTable != nullptr; }
        void Release();

    private:
        friend class COpenFileTable;
        CLease(COpenFileTable* pTable, Key key, Usage usage) : m_pTable(pTable), m_Key(key), m_Usage(usage) {}

        COpenFileTable* m_pTable = nullptr;
        Key m_Key;
        Usage m_Usage;
    };

    // The table every transfer file of the process goes through.
    static COpenFileTable& Instance();

    // A held lease when the usage agrees with every opener the file has now,
    // an empty one otherwise.
    CLease Acquire(uint64_t device, uint64_t inode, const Usage& usage);

private:
    struct Openers {
        int nOpeners = 0;
        int nReaders = 0;
        int nWriters = 0;
        int nDenyRead = 0;
        int nDenyWrite = 0;
    };

    void Leave(const Key& key, const Usage& usage);
    static void Count(Openers& openers, const Usage& usage, int step);

    std::mutex m_Lock;
    std::map<Key, Openers> m_Files;
};
