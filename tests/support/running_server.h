#pragma once

#include <memory>

#include <cstdint>
#include <string>

#include "fake_server_view.h"
#include "ftp_test_client.h"
#include "temp_tree.h"
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
    uint16_t Port() const { return m_pServer->ListeningPort(); }
    // The root that sessions get at their next login.
    void SetHome(const std::string& local);
    std::string Root() const { return m_Root.Root(); }

    std::filesystem::path LocalPath(const std::string& name) const { return m_Root.LocalPath(name); }
    bool WriteFile(const std::string& name, const std::string& bytes) const { return m_Root.WriteFile(name, bytes); }
    std::string ReadFile(const std::string& name) const { return m_Root.ReadFile(name); }
    bool MakeSparseFile(const std::string& name, int64_t length) const { return m_Root.MakeSparseFile(name, length); }

    // A client that is connected and logged in, or null.
    std::unique_ptr<CFtpTestClient> NewClient() const;
    // A new client can log in and have NOOP answered: the server still serves.
    bool ServesFreshClient() const;

private:
    CTempTree m_Root;
    CFakeServerView m_OwnView;
    CFakeServerView* m_pView;
    std::shared_ptr<CServerSettings> m_pSettings = std::make_shared<CServerSettings>();
    std::unique_ptr<CServerControl> m_pServer;
};
