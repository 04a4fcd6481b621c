#include "session/data_socket.h"

#include <algorithm>

#include "session/data_channel.h"

CDataSocket::CDataSocket(CDataChannel& channel) : m_Channel(channel) {}

// The base closes the connection and the member file closes itself.
CDataSocket::~CDataSocket() = default;

void CDataSocket::OnAccept(int)
{
    AssertOwnThread();
    std::string address;
    CUniqueSocket accepted(AcceptHandle(address));
    // Only the client of this session may take its passive port; anyone else
    // who raced it there is sent away and the port keeps waiting.
    if (!accepted.Valid() || address != m_Channel.Peer())
        return;
    Close();
    // The accepted connection keeps the listener's peer timeouts.
    Attach(accepted.Release(), kAllSocketEvents);
    m_bAttemptSettled = true;
}

void CDataSocket::OnConnect(int nErrorCode)
{
    AssertOwnThread();
    m_bAttemptSettled = true;
    if (nErrorCode == 0)
        return;
    m_bConnectFailed = true;
    EndTransfer(Text::ReplyDataOpenFailed);
}

void CDataSocket::EndTransfer(TextTemplate<> reply)
{
    m_Transfer = Transfer::None;
    m_Channel.EndTransfer(reply);
}

void CDataSocket::StartSendList(std::string listing)
{
    m_Transfer = Transfer::List;
    m_strListing = std::move(listing);
    m_nTotal = static_cast<int64_t>(m_strListing.size());
    m_nPosition = 0;
    OnSend(0);
}

void CDataSocket::StartSendFile(const std::string& path, int64_t nOffset)
{
    m_Transfer = Transfer::Download;
    if (!OpenSendFile(path, nOffset)) {
        EndTransfer(Text::ReplyTransferAborted);
        return;
    }
    OnSend(0);
}

bool CDataSocket::OpenSendFile(const std::string& path, int64_t nOffset)
{
    if (!m_File.Open(path, CNativeFile::Mode::ReadDenyWrite))
        return false;
    m_nTotal = m_File.Length();
    if (m_nTotal < 0) {
        m_File.Close();
        return false;
    }
    // An offset at or past the end (or below 0) never skips the whole file.
    m_nPosition = nOffset >= 0 && nOffset < m_nTotal ? nOffset : 0;
    return true;
}

void CDataSocket::StartReceiveFile(const std::string& path, int64_t nOffset)
{
    m_Transfer = Transfer::Upload;
    if (!OpenReceiveFile(path, nOffset))
        EndTransfer(Text::ReplyFileAccess);
}

bool CDataSocket::OpenReceiveFile(const std::string& path, int64_t nOffset)
{
    // A negative offset names no place in a file; refuse before creating it.
    if (nOffset < 0)
        return false;
    if (!m_File.Open(path, CNativeFile::Mode::WriteDenyWrite))
        return false;
    // Without REST an existing file is emptied; with it, cut or extended to
    // the offset, and what arrives is written from there.
    if (!m_File.SetLength(nOffset)) {
        m_File.Close();
        return false;
    }
    m_nPosition = nOffset;
    m_pReceiveBuffer = std::make_unique_for_overwrite<char[]>(kReceiveStep);
    return true;
}

void CDataSocket::OnSend(int)
{
    AssertOwnThread();
    if ((m_Transfer == Transfer::Download && m_File.IsOpen()) || m_Transfer == Transfer::List)
        SendSteps();
}

void CDataSocket::SendSteps()
{
    // Each step hands the kernel as much as the socket takes, so a step ends
    // short only when the socket is full or the file is shorter than it was.
    for (int nBudget = kBytesPerTurn; m_nPosition < m_nTotal;) {
        if (nBudget == 0) {
            ContinueSendingLater();
            return;
        }
        const int sent = SendStep(nBudget);
        if (sent == kSocketError) {
            // A full socket brings a write notification once it drains.
            if (GetLastError() != WSAEWOULDBLOCK)
                EndSending(Text::ReplyTransferAborted);
            return;
        }
        // A file that yields fewer bytes than its length has shrunk under us.
        if (sent == 0) {
            EndSending(Text::ReplyTransferAborted);
            return;
        }
        m_nPosition += sent;
        nBudget -= sent;
    }
    EndSending(Text::ReplyTransferDone);
}

int CDataSocket::SendStep(int nBudget)
{
    const int length = static_cast<int>(std::min<int64_t>(m_nTotal - m_nPosition, nBudget));
    if (m_File.IsOpen())
        return SendFile(m_File.Handle(), m_nPosition, length);
    return Send(m_strListing.data() + m_nPosition, length);
}

void CDataSocket::ContinueSendingLater()
{
    // Queued behind whatever else the session has waiting; dropped if this
    // socket is gone by then.
    PostToSelf([this] { OnSend(0); });
}

void CDataSocket::EndSending(TextTemplate<> reply)
{
    m_File.Close();
    m_strListing.clear();
    Close();
    m_nTotal = 0;
    m_nPosition = 0;
    EndTransfer(reply);
}

void CDataSocket::OnReceive(int)
{
    AssertOwnThread();
    // Take what has arrived while it lasts, up to the turn's share.
    for (int nBudget = kBytesPerTurn; nBudget > 0;) {
        const int received = ReceiveStep();
        if (received <= 0)
            return;
        nBudget -= received;
    }
}

int CDataSocket::ReceiveStep()
{
    if (m_Transfer != Transfer::Upload || !m_File.IsOpen())
        return 0;
    const int received = Receive(m_pReceiveBuffer.get(), kReceiveStep);
    if (received == kSocketError) {
        if (GetLastError() != WSAEWOULDBLOCK)
            EndReceiving(Text::ReplyTransferAborted);
        return -1;
    }
    if (received == 0) {
        EndReceiving(Text::ReplyTransferDone);
        return 0;
    }
    if (!m_File.WriteAt(m_nPosition, m_pReceiveBuffer.get(), received)) {
        EndReceiving(Text::ReplyFileAccess);
        return 0;
    }
    m_nPosition += received;
    return received;
}

void CDataSocket::EndReceiving(TextTemplate<> reply)
{
    m_File.Close();
    m_pReceiveBuffer.reset();
    Close();
    m_nPosition = 0;
    EndTransfer(reply);
}

void CDataSocket::OnClose(int nErrorCode)
{
    AssertOwnThread();
    ShutDown(kShutDownSend);
    const Transfer transfer = m_Transfer;
    if (transfer == Transfer::Upload && nErrorCode != 0) {
        // A reset breaks the upload off. It is reported only once nothing
        // is left to read, and reading on would find an ordinary end of stream,
        // so it has to fail here or it would pass for a finished upload.
        if (m_File.IsOpen())
            EndReceiving(Text::ReplyTransferAborted);
    } else if (transfer == Transfer::Upload) {
        // What the client sent before it closed is still queued: write it all,
        // then the end of the stream completes the upload.
        while (ReceiveStep() > 0) {
        }
    } else if (transfer != Transfer::None) {
        EndTransfer(Text::ReplyTransferAborted);
    }
    // With no transfer set up (the client let go of a passive connection
    // after a refusal) a reply would answer no command and put every later
    // reply one behind, so the connection is only dropped.
    m_bAttemptSettled = false;
    m_Channel.OnConnectionClosed(transfer == Transfer::None);
}
