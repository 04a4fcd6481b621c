#pragma once

#include <cstdint>
#include <string>

#include "session/session_host.h"

// A host for sessions run in bulk (fuzzing, benchmarks): every right on, a
// fixed root, and notifications dropped, since recording them would grow
// with every session over a long run.
class CDiscardingSessionHost : public ISessionHost {
public:
    explicit CDiscardingSessionHost(std::string home) : m_strHome(std::move(home)) {}

    void PostClientConnected(const std::string&, uint32_t) override {}
    void PostClientDisconnected(const std::string&, uint32_t) override {}
    void PostServerLog(const std::string&, uint32_t) override {}
    int RightValue(Right) const override { return 1; }
    std::string HomeDirectory() const override { return m_strHome; }
    void Unregister(CClientThread*) override {}

private:
    std::string m_strHome;
};
