#include "session/control_socket.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <exception>

#include "platform/big5_text.h"
#include "platform/byte_string.h"
#include "platform/file_system.h"
#include "session/command_table.h"
#include "session/directory_listing.h"

CControlSocket::CControlSocket(IControlHost& host)
    : m_Host(host),
      m_DataChannel(host.PeerAddress(),
                    {[this](TextTemplate<> reply) { SendReply(reply); }, [this] { OnTransferOver(); }})
{
}

CControlSocket::~CControlSocket() = default;

void CControlSocket::OnReceive(int)
{
    AssertOwnThread();
    // One catch point for the whole session: whatever a command throws ends
    // the session instead of the program.
    try {
        ReceiveAndExecute();
    } catch (const std::exception&) {
        m_Host.PostLog(CTextTable::Big5(Text::LogReceiveException));
        m_Host.QuitSession();
    }
}

void CControlSocket::OnClose(int)
{
    AssertOwnThread();
    m_Host.QuitSession();
}

void CControlSocket::ReceiveAndExecute()
{
    char buffer[kMaxReceiveChunk + 1];
    const int received = Receive(buffer, kMaxReceiveChunk);
    if (received == kSocketError) {
        if (GetLastError() != WSAEWOULDBLOCK)
            m_Host.PostLog(CTextTable::Format(Text::LogReceiveError, GetLastError()));
        return;
    }
    if (received == 0) {
        EndSession();
        return;
    }
    if (m_strRecvBuffer.size() + received > kMaxPendingText) {
        m_Host.PostLog(CTextTable::Big5(Text::LogOverflow));
        m_Host.QuitSession();
        return;
    }
    // Bytes after a NUL in one read are not part of the command text.
    m_strRecvBuffer.append(buffer, strnlen(buffer, received));
    ExtractCommands();
}

void CControlSocket::ExtractCommands()
{
    // A reply that could not be sent ended the session and closed the
    // connection: the commands still buffered are the client's no more.
    while (!m_strRecvBuffer.empty() && IsOpen()) {
        const size_t end = m_strRecvBuffer.find("\r\n");
        if (end == std::string::npos)
            return;
        std::string line = m_strRecvBuffer.substr(0, end);
        m_strRecvBuffer.erase(0, end + 2);
        if (line.empty())
            continue;
        m_CommandQueue.push_back(std::move(line));
        ProcessCommand();
    }
}

void CControlSocket::ProcessCommand()
{
    const std::string line = std::move(m_CommandQueue.front());
    m_CommandQueue.pop_front();
    // A blank is never the trail byte of a Big5 character, so a byte search is safe.
    const size_t blank = line.find(' ');
    const std::string verb = CBig5Text::ToUpperAscii(std::string_view(line).substr(0, blank));
    const std::string argument = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    m_Host.PostLog(verb + ' ' + argument);

    const CommandEntry& entry = CCommandTable::Find(verb);
    if (m_nState == SESSION_NOT_LOGGED_IN && entry.login == Login::Required) {
        SendReply(Text::ReplyLoginFirst);
        return;
    }
    if (entry.right != Right::None && m_Host.Host().RightValue(entry.right) == 0) {
        SendReply(Text::ReplyNoRight);
        return;
    }
    (this->*entry.handler)(argument);
}

void CControlSocket::EndSession()
{
    Close();
    m_Host.QuitSession();
}

void CControlSocket::SendLine(std::string_view text)
{
    // A reply is one line whatever names or arguments it echoes.
    const std::string line = CBig5Text::OneLine(text);
    if (IsConnectionLost()) {
        m_Host.PostLog(CTextTable::Big5(Text::LogReplyFailed));
        EndSession();
        return;
    }
    const std::string wire = line + "\r\n";
    if (Send(wire.data(), static_cast<int>(wire.size())) == kSocketError) {
        EndSession();
        m_Host.PostLog(CTextTable::Big5(Text::LogReplyFailed));
        return;
    }
    m_Host.PostLog(line);
}

bool CControlSocket::IsConnectionLost()
{
    if (!IsOpen())
        return true;
    // A byte peeked stays queued for the next read.
    char byte;
    const int peeked = Peek(&byte, 1);
    if (peeked > 0)
        return false;
    if (peeked == 0)
        return true;
    const int error = GetLastError();
    return error == WSAEINVAL || error == WSAENETRESET || error == WSAECONNABORTED || error == WSAECONNRESET;
}

void CControlSocket::CmdUser(std::string_view argument)
{
    if (CBig5Text::ToLowerAscii(argument) != "anonymous")
        return SendReply(Text::ReplyUserBad);
    SendReply(Text::ReplyUserOk);
    m_strUser = argument;
}

void CControlSocket::CmdPass(std::string_view)
{
    if (m_strUser.empty())
        return SendReply(Text::ReplyPassWithoutUser);
    m_Paths.SetHome(m_Host.Host().HomeDirectory());
    SendReply(Text::ReplyLoggedIn);
    m_nState = SESSION_IDLE;
}

void CControlSocket::CmdQuit(std::string_view)
{
    SendReply(Text::ReplyBye);
    EndSession();
}

void CControlSocket::CmdType(std::string_view argument)
{
    SendReply(Text::ReplyType, argument);
}

void CControlSocket::CmdPort(std::string_view argument)
{
    m_DataChannel.TakePortArgument(argument);
    SendReply(Text::ReplyPort);
}

void CControlSocket::CmdRest(std::string_view argument)
{
    m_DataChannel.SetRestartOffset(ByteString::DecimalValue(argument, LLONG_MIN, LLONG_MAX));
    SendReply(Text::ReplyRest, static_cast<long long>(m_DataChannel.RestartOffset()));
}

void CControlSocket::CmdAbor(std::string_view)
{
    if (m_DataChannel.HasConnection()) {
        if (m_nState != SESSION_IDLE)
            SendReply(Text::ReplyAborData);
        m_DataChannel.Release(CDataChannel::When::Posted);
    }
    // Nothing runs any more once the data connection goes, so the session
    // must not keep claiming a transfer (a later ABOR would answer 426 again).
    m_nState = SESSION_IDLE;
    SendReply(Text::ReplyAbor);
}

void CControlSocket::CmdSyst(std::string_view)
{
    SendReply(Text::ReplySyst);
}

void CControlSocket::CmdNoop(std::string_view)
{
    SendReply(Text::ReplyNoop);
}

void CControlSocket::CmdUnknown(std::string_view)
{
    SendReply(Text::ReplyUnknown);
}

void CControlSocket::CmdPwd(std::string_view)
{
    SendReply(Text::ReplyPwd, LocalToVirtual(CurrentDir()));
}

void CControlSocket::CmdCwd(std::string_view argument)
{
    const std::string local = VirtualToLocal(argument);
    if (!PathExists(local, true))
        return SendReply(Text::ReplyDirMissing);
    if (!IsInsideHome(local))
        return SendReply(Text::ReplyDenied);
    m_Paths.SetCurrentDir(local);
    SendReply(Text::ReplyCwd, LocalToVirtual(CurrentDir()));
}

void CControlSocket::CmdCdup(std::string_view)
{
    CmdCwd("..");
}

void CControlSocket::CmdSize(std::string_view argument)
{
    const std::string local = VirtualToLocal(argument);
    if (!PathExists(local, false))
        return SendReply(Text::ReplyFileMissing);
    // Sizes of files outside the home would tell a client what lies there.
    if (!IsInsideHome(local))
        return SendReply(Text::ReplyDenied);
    SendReply(Text::ReplySize, static_cast<long long>(CFileSystem::Stat(local).nSize));
}

void CControlSocket::CmdDele(std::string_view argument)
{
    const std::string local = VirtualToLocal(argument);
    if (!PathExists(local, false))
        return SendReply(Text::ReplyFileMissing);
    if (!IsInsideHome(local))
        return SendReply(Text::ReplyDenied);
    if (CFileSystem::RemoveFile(local) != FileError::None)
        return SendReply(Text::ReplyDeleteFailed, argument);
    SendReply(Text::ReplyDeleted, argument);
}

void CControlSocket::CmdRmd(std::string_view argument)
{
    const std::string local = VirtualToLocal(argument);
    if (!PathExists(local, true))
        return SendReply(Text::ReplyDirMissing);
    if (!IsInsideHome(local))
        return SendReply(Text::ReplyRmdDenied);
    // An empty home would go too, leaving every session without a tree.
    if (local == m_Paths.Home())
        return SendReply(Text::ReplyDenied);
    if (CFileSystem::RemoveDirectory(local) != FileError::None)
        return SendReply(Text::ReplyRmdFailed, argument);
    SendReply(Text::ReplyRmdDone, argument);
}

void CControlSocket::CmdMkd(std::string_view argument)
{
    const std::string local = VirtualToLocal(argument);
    if (PathExists(local, true))
        return SendReply(Text::ReplyDirExists);
    if (!IsInsideHome(local))
        return SendReply(Text::ReplyDenied);
    if (CreateDirectoryTree(local))
        return SendReply(Text::ReplyMkdDone);
    // Another session may have made it since the check above.
    if (PathExists(local, true))
        return SendReply(Text::ReplyDirExists);
    SendReply(Text::ReplyMkdFailed);
}

bool CControlSocket::CreateDirectoryTree(const std::string& local)
{
    // Only names below the home are created: the home and what lies above it
    // are never made by a client.
    const std::string& home = m_Paths.Home();
    for (size_t i = local.find('/', home == "/" ? 1 : home.size() + 1); i != std::string::npos;
         i = local.find('/', i + 1))
        CFileSystem::MakeDirectory(local.substr(0, i));
    return CFileSystem::MakeDirectory(local) == FileError::None;
}

void CControlSocket::CmdRnfr(std::string_view argument)
{
    const std::string local = VirtualToLocal(argument);
    // Moving the home itself would take the whole tree away from its sessions.
    if (!IsInsideHome(local) || local == m_Paths.Home())
        return SendReply(Text::ReplyDenied);
    const bool bIsFile = PathExists(local, false);
    if (!bIsFile && !PathExists(local, true))
        return SendReply(Text::ReplyRnfrMissing);
    m_strRenameFrom = local;
    m_bRenameIsFile = bIsFile;
    return bIsFile ? SendReply(Text::ReplyRnfrFile) : SendReply(Text::ReplyRnfrDir);
}

void CControlSocket::CmdRnto(std::string_view argument)
{
    if (m_strRenameFrom.empty())
        return SendReply(Text::ReplyRntoWithoutRnfr);
    const std::string target = VirtualToLocal(argument);
    if (PathExists(target, !m_bRenameIsFile))
        return m_bRenameIsFile ? SendReply(Text::ReplyFileExists) : SendReply(Text::ReplyDirExists);
    if (!IsInsideHome(target))
        return SendReply(Text::ReplyDenied);
    if (m_bRenameIsFile)
        return MoveRenameSource(target, Text::ReplyRenamedFile, Text::ReplyRenameFileFailed);
    return MoveRenameSource(target, Text::ReplyRenamedDir, Text::ReplyRenameDirFailed);
}

void CControlSocket::MoveRenameSource(const std::string& target, TextTemplate<const char*> done,
                                      TextTemplate<const char*> failed)
{
    const std::string client = LocalToVirtual(m_strRenameFrom);
    // Never replaces: a target of the other kind makes the move fail.
    const bool bMoved = CFileSystem::RenameNoReplace(m_strRenameFrom, target) == FileError::None;
    m_strRenameFrom.clear();
    SendReply(bMoved ? done : failed, client.c_str());
}

// The data connection, listings and file transfers.

void CControlSocket::CmdPasv(std::string_view)
{
    uint16_t dataPort = 0;
    if (!m_DataChannel.EnterPassive(dataPort))
        return SendReply(Text::ReplyPasvFailed);
    // The address the client reached us at is the one it can reach again; it
    // is the same for every PASV of the session.
    if (m_strPassiveAddress.empty()) {
        uint16_t controlPort = 0;
        GetSockName(m_strPassiveAddress, controlPort);
        std::ranges::replace(m_strPassiveAddress, '.', ',');
    }
    SendReply(Text::ReplyPasv, m_strPassiveAddress.c_str(), dataPort >> 8, dataPort & 0xFF);
}

bool CControlSocket::BuildListing(std::string_view argument, std::string& listing)
{
    listing.clear();
    // "*" is never the second byte of a Big5 character, so bytes will do.
    std::string_view withoutStars = argument;
    while (withoutStars.ends_with('*'))
        withoutStars.remove_suffix(1);
    const std::string target = withoutStars.empty() ? CurrentDir() : VirtualToLocal(argument);
    const bool bDirectory = PathExists(target, true);
    if (!bDirectory && !PathExists(target, false))
        return Refuse(Text::ReplyListMissing);
    if (!IsInsideHome(target))
        return Refuse(Text::ReplyNoRight);
    const int64_t nNow = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch()).count();
    listing = bDirectory ? CDirectoryListing::ListDirectory(target, nNow) : CDirectoryListing::ListFile(target, nNow);
    return true;
}

void CControlSocket::CmdList(std::string_view argument)
{
    std::string target(argument);
    CDirectoryListing::StripListOptions(target);
    std::string listing;
    if (!BuildListing(target, listing))
        return;
    SendReply(Text::ReplyListStart);
    if (!m_DataChannel.Open(CDataSocket::Transfer::List)) {
        m_DataChannel.Release(CDataChannel::When::Now);
        return;
    }
    if (listing.empty()) {
        m_DataChannel.Release(CDataChannel::When::Now);
        SendReply(Text::ReplyTransferDone);
        m_nState = SESSION_IDLE;
        return;
    }
    m_nState = SESSION_SENDING_LIST;
    m_DataChannel.StartList(std::move(listing));
}

void CControlSocket::CmdRetr(std::string_view argument)
{
    const std::string local = VirtualToLocal(argument);
    if (!PathExists(local, false))
        return SendReply(Text::ReplyFileMissing);
    if (!IsInsideHome(local))
        return SendReply(Text::ReplyDenied);
    SendReply(Text::ReplyRetrStart);
    if (!m_DataChannel.Open(CDataSocket::Transfer::Download)) {
        m_DataChannel.Release(CDataChannel::When::Now);
        return;
    }
    m_nState = SESSION_SENDING_FILE;
    m_DataChannel.StartDownload(local);
}

void CControlSocket::CmdStor(std::string_view argument)
{
    const std::string local = VirtualToLocal(argument);
    if (!IsInsideHome(local))
        return SendReply(Text::ReplyDenied);
    SendReply(Text::ReplyStorStart);
    m_nState = SESSION_RECEIVING_FILE;
    if (!m_DataChannel.Open(CDataSocket::Transfer::Upload)) {
        m_DataChannel.Release(CDataChannel::When::Now);
        // No upload is running, whatever state a failed connect left.
        m_nState = SESSION_IDLE;
        return;
    }
    m_DataChannel.StartUpload(local);
}
