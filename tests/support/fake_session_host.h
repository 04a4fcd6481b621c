#pragma once

#include <map>
#include <mutex>
#include <vector>

#include <cstdint>
#include <string>

#include "session/session_host.h"

// Records what sessions post, from any thread, for tests to inspect.
class CFakeSessionHost : public ISessionHost {
public:
    enum class Kind { Connected, Disconnected, Log };
    struct Event {
        Kind kind;
        std::string text;
        uint32_t threadId;
    };

    void PostClientConnected(const std::string& address, uint32_t threadId) override;
    void PostClientDisconnected(const std::string& address, uint32_t threadId) override;
    void PostServerLog(const std::string& text, uint32_t threadId) override;
    int RightValue(Right right) const override;
    std::string HomeDirectory() const override;
    void Unregister(CClientThread* thread) override;

    void SetRight(Right right, int value);
    void SetHomeDirectory(const std::string& home);

    std::vector<Event> Events() const;
    std::vector<std::string> LogTexts() const;
    int CountOf(Kind kind) const;
    int UnregisterCount() const;

private:
    void Record(Kind kind, const std::string& text, uint32_t threadId);

    mutable std::mutex m_Lock;
    std::vector<Event> m_Events;
    std::map<Right, int> m_Rights = {{Right::Download, 1}};
    std::string m_strHome;
    int m_nUnregistered = 0;
};
