#include "session/data_channel.h"

#include <climits>

#include "platform/byte_string.h"
#include "session/connection_timeouts.h"

CDataChannel::CDataChannel(const std::string& strPeer, Session session)
    : m_strPeer(strPeer), m_Session(std::move(session))
{
}

// The socket closes its connection and its file as it goes.
CDataChannel::~CDataChannel() = default;

bool CDataChannel::IsPermittedDataTarget(std::string_view strHost, int nPort, std::string_view strPeer)
{
    // Anything else would let a client aim the server's connections at other
    // machines or at services of its own machine (a bounce).
    return !strPeer.empty() && strHost == strPeer && nPort >= 1024 && nPort <= 65535;
}

void CDataChannel::ApplyPortArgument(std::string_view argument, std::string& strHost, int& nPort)
{
    // Only the fields present change their part; nothing is validated here,
    // the data connection decides what it will connect to.
    const auto intValue = [](std::string_view text) { return ByteString::DecimalValue(text, INT_MIN, INT_MAX); };
    const std::vector<std::string> fields = ByteString::Split(argument, ',');
    for (size_t i = 0; i < fields.size() && i < 6; ++i) {
        const std::string& field = fields[i];
        if (i == 0)
            strHost = field + '.';
        else if (i < 3)
            strHost += field + '.';
        else if (i == 3)
            strHost += field;
        else if (i == 4)
            nPort = static_cast<int>(intValue(field) * 256);
        else
            nPort = static_cast<int>(static_cast<int64_t>(nPort) + intValue(field));
    }
}

void CDataChannel::TakePortArgument(std::string_view argument)
{
    ApplyPortArgument(argument, m_strHost, m_nPort);
}

void CDataChannel::NewSocket()
{
    m_pSocket = std::make_unique<CDataSocket>(*this);
    ++m_nSocketNumber;
}

bool CDataChannel::EnterPassive(uint16_t& nPort)
{
    Release(When::Now);
    NewSocket();
    if (!m_pSocket->Create(0, kAllSocketEvents)) {
        Release(When::Now);
        return false;
    }
    // Set on the listener, they come with the connection it accepts.
    m_pSocket->SetPeerTimeouts(ConnectionTimeouts::kData);
    m_pSocket->Listen(kPassiveBacklog);
    m_pSocket->AsyncSelect(kAllSocketEvents);
    std::string unused;
    nPort = 0;
    m_pSocket->GetSockName(unused, nPort);
    m_bPassive = true;
    return true;
}

bool CDataChannel::Refuse(TextTemplate<> reply)
{
    m_Session.reply(reply);
    return false;
}

bool CDataChannel::ConnectActive()
{
    // A socket still held from an earlier transfer (its release not yet
    // taken) is dropped rather than kept alongside the new one.
    NewSocket();
    if (!IsPermittedDataTarget(m_strHost, m_nPort, m_strPeer))
        return Refuse(Text::ReplyDataConnectFailed);
    if (!m_pSocket->Create(0, kAllSocketEvents))
        return Refuse(Text::ReplyDataSocketFailed);
    m_pSocket->SetPeerTimeouts(ConnectionTimeouts::kData);
    // No reads or writes are reported before the transfer is set up.
    m_pSocket->AsyncSelect(FD_ACCEPT | FD_CONNECT | FD_CLOSE);
    if (!m_pSocket->Connect(m_strHost, static_cast<uint16_t>(m_nPort)) && m_pSocket->GetLastError() != WSAEWOULDBLOCK)
        return Refuse(Text::ReplyDataConnectFailed);
    return true;
}

bool CDataChannel::Open(CDataSocket::Transfer transfer)
{
    if (!m_bPassive && !ConnectActive())
        return false;
    if (transfer == CDataSocket::Transfer::Upload)
        m_pSocket->AwaitUpload();
    m_Residence.Loop().WaitUntil([this] { return !m_pSocket || m_pSocket->IsAttemptSettled(); }, kConnectTimeoutMs);
    return CheckConnectionAfterWait();
}

// The session's other notifications, and commands, ran during the wait: one of
// them may have dropped or replaced the data socket, so it is read afresh.
bool CDataChannel::CheckConnectionAfterWait()
{
    if (!m_pSocket || !m_pSocket->IsAttemptSettled())
        return Refuse(Text::ReplyDataSocketFailed);
    // A refused connect has had its reply; going on would only add a second
    // failure (and an upload would empty its file first).
    return !m_pSocket->HasConnectFailed();
}

void CDataChannel::StartList(std::string listing)
{
    m_pSocket->AsyncSelect(kAllSocketEvents);
    m_pSocket->StartSendList(std::move(listing));
}

void CDataChannel::StartDownload(const std::string& path)
{
    m_pSocket->AsyncSelect(kAllSocketEvents);
    m_pSocket->StartSendFile(path, m_nRestartOffset);
}

void CDataChannel::StartUpload(const std::string& path)
{
    m_pSocket->StartReceiveFile(path, m_nRestartOffset);
    // Only now, with the file open, may data that arrived early be reported.
    if (m_pSocket && m_pSocket->IsTransferring())
        m_pSocket->AsyncSelect(kAllSocketEvents);
}

void CDataChannel::ForgetSettings()
{
    m_strHost.clear();
    m_nPort = -1;
    m_nRestartOffset = 0;
    m_bPassive = false;
}

void CDataChannel::Release(When when)
{
    if (!m_pSocket)
        return;
    ForgetSettings();
    if (when == When::Now) {
        m_pSocket.reset();
        return;
    }
    m_pSocket->StopTransfer();
    // The socket may be the caller: it goes once the thread takes this message.
    const uint64_t nSocketNumber = m_nSocketNumber;
    m_Residence.Post([this, nSocketNumber] { CloseSocket(nSocketNumber); });
}

void CDataChannel::CloseSocket(uint64_t nSocketNumber)
{
    if (nSocketNumber == m_nSocketNumber)
        m_pSocket.reset();
}

void CDataChannel::EndTransfer(TextTemplate<> reply)
{
    m_Session.idle();
    m_Session.reply(reply);
    Release(When::Posted);
}

void CDataChannel::OnConnectionClosed(bool bDrop)
{
    if (bDrop)
        Release(When::Posted);
    m_Session.idle();
}
