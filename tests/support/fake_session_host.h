#pragma once

#include <map>
#include <mutex>
#include <vector>

#include <QByteArray>

#include "session/session_host.h"

// Records what sessions post, from any thread, for tests to inspect.
class CFakeSessionHost : public ISessionHost {
public:
    enum class Kind { Connected, Disconnected, Log };
    struct Event {
        Kind kind;
        QByteArray text;
        quint32 threadId;
    };

    void PostClientConnected(const QByteArray& address, quint32 threadId) override;
    void PostClientDisconnected(const QByteArray& address, quint32 threadId) override;
    void PostServerLog(const QByteArray& text, quint32 threadId) override;
    int RightValue(Right right) const override;
    QByteArray HomeDirectory() const override;
    void Unregister(CClientThread* thread) override;

    void SetRight(Right right, int value);
    void SetHomeDirectory(const QByteArray& home);

    std::vector<Event> Events() const;
    std::vector<QByteArray> LogTexts() const;
    int CountOf(Kind kind) const;
    int UnregisterCount() const;

private:
    void Record(Kind kind, const QByteArray& text, quint32 threadId);

    mutable std::mutex m_Lock;
    std::vector<Event> m_Events;
    std::map<Right, int> m_Rights = {{Right::Download, 1}};
    QByteArray m_strHome;
    int m_nUnregistered = 0;
};
