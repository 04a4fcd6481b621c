#pragma once

#include <memory>

#include <QByteArray>
#include <QTemporaryDir>

#include "fake_server_view.h"
#include "ftp_test_client.h"
#include "server/server_control.h"
#include "server/server_settings.h"

// The whole server, started on 127.0.0.1 on a port the system picks, serving
// a fresh temporary root with every right on, for tests that look at it from
// the outside as clients and as the process that hosts it.
class CRunningServer {
public:
    // The view records what the server shows; null takes one of our own.
    explicit CRunningServer(CFakeServerView* pView = nullptr);
    ~CRunningServer();

    CServerControl& Server() { return *m_pServer; }
    CFakeServerView& View() { return *m_pView; }
    quint16 Port() const { return m_pServer->ListeningPort(); }
    // The root that sessions get at their next login.
    void SetHome(const QByteArray& local);
    QByteArray Root() const;

    QByteArray LocalPath(const QByteArray& name) const;
    bool WriteFile(const QByteArray& name, const QByteArray& bytes) const;
    QByteArray ReadFile(const QByteArray& name) const;
    // A file of that length that holds no blocks on disk (it reads as zeros).
    bool MakeSparseFile(const QByteArray& name, qint64 length) const;

    // A client that is connected and logged in, or null.
    std::unique_ptr<CFtpTestClient> NewClient() const;
    // A new client can log in and have NOOP answered: the server still serves.
    bool ServesFreshClient() const;

private:
    QTemporaryDir m_Root;
    CFakeServerView m_OwnView;
    CFakeServerView* m_pView;
    std::shared_ptr<CServerSettings> m_pSettings = std::make_shared<CServerSettings>();
    std::unique_ptr<CServerControl> m_pServer;
};
