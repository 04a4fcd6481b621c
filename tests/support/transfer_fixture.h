#pragma once

#include <memory>

#include <cstdint>
#include <string>

#include "ftp_test_client.h"
#include "temp_tree.h"
#include "session_harness.h"

// What a client saw of one transfer: the preliminary reply, the bytes of
// the data connection and the final reply.
struct TransferResult {
    std::string preliminary;
    std::string data;
    std::string final;
};

// Sessions on loopback whose root is a fresh temporary directory, with
// helpers for files in it and for transfers in passive mode.
class CTransferFixture {
public:
    CTransferFixture();

    CSessionHarness& Harness() { return *m_pHarness; }
    CFakeSessionHost& Host() { return m_pHarness->Host(); }
    // A client that is connected and logged in, or null.
    std::unique_ptr<CFtpTestClient> NewClient();

    std::filesystem::path LocalPath(const std::string& name) const { return m_Root.LocalPath(name); }
    bool WriteFile(const std::string& name, const std::string& bytes) const { return m_Root.WriteFile(name, bytes); }
    std::string ReadFile(const std::string& name) const { return m_Root.ReadFile(name); }
    bool MakeSparseFile(const std::string& name, int64_t length) const { return m_Root.MakeSparseFile(name, length); }

    // PASV, the command, then everything the data connection carries.
    static TransferResult Download(CFtpTestClient& client, const std::string& command);
    // PASV, the command, the bytes, then the data connection is closed.
    static TransferResult Upload(CFtpTestClient& client, const std::string& command, const std::string& bytes);

private:
    CTempTree m_Root;
    std::unique_ptr<CSessionHarness> m_pHarness;
};
