#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "platform/text_table.h"
#include "session/control_host.h"
#include "session/data_channel.h"
#include "session/virtual_path.h"


enum SessionState : int {
    SESSION_IDLE = 0,
    SESSION_NOT_LOGGED_IN = 1,
    SESSION_SENDING_LIST = 2,
    SESSION_RECEIVING_FILE = 3,
    SESSION_SENDING_FILE = 4,
};

// The session proper: the control connection of one client, its line
// assembly, the command interpreter and the session's state, with the data
// connection in a channel of its own. Lives on its session thread and is
// used only there.
//
// LIST, RETR and STOR wait for their data connection inside the command
// (CDataChannel::Open): the wait pumps this thread's events, so the session's
// other notifications, and further commands, run in the middle of the command.
class CControlSocket : public CSocket {
public:
    static constexpr int kMaxReceiveChunk = 512;
    static constexpr int kMaxPendingText = 4096;

    explicit CControlSocket(IControlHost& host);
    ~CControlSocket() override;

    // Formats one reply from a Big5 template, sends it with CR LF and logs it.
    // When the connection is gone the session ends instead.
    template <typename... Arguments>
    void SendReply(TextTemplate<std::decay_t<Arguments>...> text, const Arguments&... arguments)
    {
        SendLine(CTextTable::Format(text, arguments...));
    }
    void SendLine(std::string_view text);
    // For the steps a command is made of: sends the refusal and reports the
    // step as failed, so the command ends there.
    template <typename... Arguments>
    bool Refuse(TextTemplate<std::decay_t<Arguments>...> text, const Arguments&... arguments)
    {
        SendReply<Arguments...>(text, arguments...);
        return false;
    }
    bool IsConnectionLost();

    CDataChannel& DataChannel() { return m_DataChannel; }
    // The whole LIST/NLST text for an argument whose options are stripped;
    // false after the refusal reply.
    bool BuildListing(std::string_view argument, std::string& listing);

    // Command handlers: each sends its own replies, refusals included.
    void CmdUser(std::string_view argument);
    void CmdPass(std::string_view argument);
    void CmdQuit(std::string_view argument);
    void CmdType(std::string_view argument);
    void CmdPwd(std::string_view argument);
    void CmdCwd(std::string_view argument);
    void CmdCdup(std::string_view argument);
    void CmdPort(std::string_view argument);
    void CmdList(std::string_view argument);
    void CmdRetr(std::string_view argument);
    void CmdStor(std::string_view argument);
    void CmdDele(std::string_view argument);
    void CmdRmd(std::string_view argument);
    void CmdMkd(std::string_view argument);
    void CmdRnfr(std::string_view argument);
    void CmdRnto(std::string_view argument);
    void CmdRest(std::string_view argument);
    void CmdSize(std::string_view argument);
    void CmdPasv(std::string_view argument);
    void CmdAbor(std::string_view argument);
    void CmdSyst(std::string_view argument);
    void CmdNoop(std::string_view argument);
    void CmdUnknown(std::string_view argument);

    // The path operations every file command goes through (see CVirtualPath):
    // client argument to local path, local path to the client's form, the
    // existence test and the confinement test against the session's home.
    std::string VirtualToLocal(std::string_view argument) const { return m_Paths.VirtualToLocal(argument); }
    std::string LocalToVirtual(std::string_view local) const { return m_Paths.LocalToVirtual(local); }
    static bool PathExists(const std::string& local, bool bDirectory)
    {
        return CVirtualPath::PathExists(local, bDirectory);
    }
    bool IsInsideHome(const std::string& local) const { return m_Paths.IsInsideHome(local); }
    const std::string& CurrentDir() const { return m_Paths.CurrentDir(); }

protected:
    void OnReceive(int nErrorCode) override;
    void OnClose(int nErrorCode) override;

private:
    void ReceiveAndExecute();
    void ExtractCommands();
    void ProcessCommand();
    void EndSession();
    bool CreateDirectoryTree(const std::string& local);
    void MoveRenameSource(const std::string& target, TextTemplate<const char*> done, TextTemplate<const char*> failed);
    // The data channel's hook: no transfer runs any more.
    void OnTransferOver() { m_nState = SESSION_IDLE; }

    IControlHost& m_Host;
    std::string m_strUser;
    bool m_bRenameIsFile = false;
    std::string m_strRenameFrom;
    int m_nState = SESSION_NOT_LOGGED_IN;
    CVirtualPath m_Paths; // home and current directory, set at login
    // This end's address in the form of a 227 reply, once a PASV has asked.
    std::string m_strPassiveAddress;
    std::string m_strRecvBuffer;
    std::deque<std::string> m_CommandQueue;
    // Declared last: it goes first, while the session it speaks to is whole.
    CDataChannel m_DataChannel;
};
