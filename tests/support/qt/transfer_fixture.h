#pragma once

#include <memory>

#include <QByteArray>

#include "ftp_test_client.h"
#include "temp_tree.h"
#include "session_harness.h"

// What a client saw of one transfer: the preliminary reply, the bytes of
// the data connection and the final reply.
struct TransferResult {
    QByteArray preliminary;
    QByteArray data;
    QByteArray final;
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

    QByteArray LocalPath(const QByteArray& name) const { return m_Root.LocalPath(name); }
    bool WriteFile(const QByteArray& name, const QByteArray& bytes) const { return m_Root.WriteFile(name, bytes); }
    QByteArray ReadFile(const QByteArray& name) const { return m_Root.ReadFile(name); }
    bool MakeSparseFile(const QByteArray& name, qint64 length) const { return m_Root.MakeSparseFile(name, length); }

    // PASV, the command, then everything the data connection carries.
    static TransferResult Download(CFtpTestClient& client, const QByteArray& command);
    // PASV, the command, the bytes, then the data connection is closed.
    static TransferResult Upload(CFtpTestClient& client, const QByteArray& command, const QByteArray& bytes);

private:
    CTempTree m_Root;
    std::unique_ptr<CSessionHarness> m_pHarness;
};
