#pragma once

#include <QByteArray>

#include "session/session_host.h"

// A host for sessions run in bulk (fuzzing, benchmarks): every right on, a
// fixed root, and notifications dropped, since recording them would grow
// with every session over a long run.
class CDiscardingSessionHost : public ISessionHost {
public:
    explicit CDiscardingSessionHost(QByteArray home) : m_strHome(std::move(home)) {}

    void PostClientConnected(const QByteArray&, quint32) override {}
    void PostClientDisconnected(const QByteArray&, quint32) override {}
    void PostServerLog(const QByteArray&, quint32) override {}
    int RightValue(Right) const override { return 1; }
    QByteArray HomeDirectory() const override { return m_strHome; }
    void Unregister(CClientThread*) override {}

private:
    QByteArray m_strHome;
};
