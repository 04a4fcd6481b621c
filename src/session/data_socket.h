#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/async_socket.h"
#include "platform/native_file.h"
#include "platform/text_table.h"

class CDataChannel;

// The data connection of one session, active or passive, and the transfer
// that runs on it: a listing or a file going out, or a file coming in, in
// blocks driven by the socket's notifications. A passive object first
// listens and then becomes the one connection it accepts. Lives on the
// session thread, is owned by the session's data channel, and owns the
// transfer's open file. It knows what it is moving; what the session makes of
// the end of it is the channel's business.
class CDataSocket : public CAsyncSocket {
public:
    // What the connection carries. An upload is announced before the
    // connection is complete, and its file opened only once it is.
    enum class Transfer {
        None,
        List,
        Download,
        Upload,
    };

    // Bytes moved per notification before the session looks at its other
    // events (an ABOR, a stop) again.
    static constexpr int kBytesPerTurn = 4 << 20;
    // What one receive of an upload may take from the socket.
    static constexpr int kReceiveStep = 256 << 10;

    // A passive port accepts a connection only from the channel's peer.
    explicit CDataSocket(CDataChannel& channel);
    ~CDataSocket() override;

    // The connection attempt is over (accepted, connected or refused) and
    // the connection has not closed since.
    bool IsAttemptSettled() const { return m_bAttemptSettled; }
    // An active connect was refused; the session has been told already.
    bool HasConnectFailed() const { return m_bConnectFailed; }

    void AwaitUpload() { m_Transfer = Transfer::Upload; }
    bool IsTransferring() const { return m_Transfer != Transfer::None; }
    // Nothing more is moved; the file stays open until the object goes.
    void StopTransfer() { m_Transfer = Transfer::None; }

    void StartSendList(std::string listing);
    void StartSendFile(const std::string& path, int64_t nOffset);
    void StartReceiveFile(const std::string& path, int64_t nOffset);

protected:
    void OnReceive(int nErrorCode) override;
    void OnSend(int nErrorCode) override;
    void OnAccept(int nErrorCode) override;
    void OnConnect(int nErrorCode) override;
    void OnClose(int nErrorCode) override;

private:
    bool OpenSendFile(const std::string& path, int64_t nOffset);
    bool OpenReceiveFile(const std::string& path, int64_t nOffset);
    void EndTransfer(TextTemplate<> reply);
    void SendSteps();
    int SendStep(int nBudget);
    void ContinueSendingLater();
    void EndSending(TextTemplate<> reply);
    int ReceiveStep();
    void EndReceiving(TextTemplate<> reply);

    CDataChannel& m_Channel;
    Transfer m_Transfer = Transfer::None;
    bool m_bAttemptSettled = false;
    bool m_bConnectFailed = false;
    int64_t m_nPosition = 0;
    int64_t m_nTotal = 0;
    CNativeFile m_File;
    std::string m_strListing;
    // Exists only while an upload runs.
    std::unique_ptr<char[]> m_pReceiveBuffer;
};
