#pragma once

#include <memory>

#include <QByteArray>
#include <QList>

#include "platform/big5_text.h"
#include "platform/socket.h"
#include "platform/text_table.h"
#include "session/session_host.h"
#include "session/virtual_path.h"

class CClientThread;
class CDataSocket;

enum SessionState : int {
    SESSION_IDLE = 0,
    SESSION_NOT_LOGGED_IN = 1,
    SESSION_SENDING_LIST = 2,
    SESSION_RECEIVING_FILE = 3,
    SESSION_SENDING_FILE = 4,
};

// The session proper: the control connection of one client, its line
// assembly, the command interpreter and the session's state. Lives on its
// session thread and is used only there.
class CControlSocket : public CSocket {
    Q_OBJECT
public:
    static constexpr int kMaxReceiveChunk = 512;
    static constexpr int kMaxPendingText = 4096;
    static constexpr int kDataConnectTimeoutMs = 5000;
    static constexpr int kListenBacklog = 5;

    explicit CControlSocket(CClientThread* pThread);
    ~CControlSocket() override;

    // Formats one reply from a Big5 template, sends it with CR LF and logs it.
    // False when the connection is gone (the session is then ending).
    template <typename... Arguments>
    bool SendReply(Text text, Arguments... arguments)
    {
        if constexpr (sizeof...(arguments) == 0)
            return SendLine(CTextTable::Big5(text));
        else
            return SendLine(CBig5Text::FormatTemplate(CTextTable::Big5(text), arguments...));
    }
    bool SendLine(const QByteArray& text);
    // A refusal is a reply: sends it and reports the command as refused.
    template <typename... Arguments>
    bool Refuse(Text text, Arguments... arguments)
    {
        SendReply(text, arguments...);
        return false;
    }
    bool IsConnectionLost();

    // Makes m_pDataSocket a completed connection; false after a failure reply
    // (the caller then closes the data connection).
    bool OpenDataConnection();
    void CloseDataConnection();
    // The half of a posted close that cannot wait: what the ending connection
    // was set up with (PORT address, REST offset, passive mode) is forgotten
    // at once, so that whatever the client sends next is for the next one.
    // Returns the number of the data socket, for CloseDataSocket.
    quint64 ReleaseDataConnection();
    // Destroys the data socket of that number if the session still has it;
    // a newer one is left alone.
    void CloseDataSocket(quint64 nSocketNumber);
    // The one place an active data connection may go: the client's own
    // address, on a port that is not a system service's.
    static bool IsPermittedDataTarget(const QByteArray& strHost, int nPort, const QByteArray& strPeer);
    // The whole LIST/NLST text for an argument whose options are stripped;
    // false after the refusal reply.
    bool BuildListing(const QByteArray& argument, QByteArray& listing);

    // Command handlers: each sends its own replies; false means refused.
    bool CmdUser(const QByteArray& argument);
    bool CmdPass(const QByteArray& argument);
    bool CmdQuit(const QByteArray& argument);
    bool CmdType(const QByteArray& argument);
    bool CmdPwd(const QByteArray& argument);
    bool CmdCwd(const QByteArray& argument);
    bool CmdCdup(const QByteArray& argument);
    bool CmdPort(const QByteArray& argument);
    bool CmdList(const QByteArray& argument);
    bool CmdRetr(const QByteArray& argument);
    bool CmdStor(const QByteArray& argument);
    bool CmdDele(const QByteArray& argument);
    bool CmdRmd(const QByteArray& argument);
    bool CmdMkd(const QByteArray& argument);
    bool CmdRnfr(const QByteArray& argument);
    bool CmdRnto(const QByteArray& argument);
    bool CmdRest(const QByteArray& argument);
    bool CmdSize(const QByteArray& argument);
    bool CmdPasv(const QByteArray& argument);
    bool CmdAbor(const QByteArray& argument);
    bool CmdSyst(const QByteArray& argument);
    bool CmdNoop(const QByteArray& argument);
    bool CmdUnknown(const QByteArray& argument);

    // The path operations every file command goes through (see CVirtualPath):
    // client argument to local path, local path to the client's form, the
    // existence test and the confinement test against the session's home.
    QByteArray VirtualToLocal(const QByteArray& argument) const { return m_Paths.VirtualToLocal(argument); }
    QByteArray LocalToVirtual(const QByteArray& local) const { return m_Paths.LocalToVirtual(local); }
    static bool PathExists(const QByteArray& local, bool bDirectory)
    {
        return CVirtualPath::PathExists(local, bDirectory);
    }
    bool IsInsideHome(const QByteArray& local) const { return m_Paths.IsInsideHome(local); }
    const QByteArray& CurrentDir() const { return m_Paths.CurrentDir(); }

    // Decimal text to a number as atoi/atoll read it (saturating).
    static qint64 DecimalValue(const QByteArray& text, qint64 minimum, qint64 maximum);
    // The PORT argument's fields into the data host text and port.
    static void ApplyPortArgument(const QByteArray& argument, QByteArray& strHost, int& nPort);

    // Read by the session's other classes and by tests.
    int State() const { return m_nState; }
    void SetState(int nState) { m_nState = nState; }
    const QByteArray& DataHost() const { return m_strDataHost; }
    int DataPort() const { return m_nDataPort; }
    qint64 RestartOffset() const { return m_nRestartOffset; }
    CClientThread* Thread() const { return m_pThread; }

protected:
    void OnReceive(int nErrorCode) override;
    void OnClose(int nErrorCode) override;

private:
    void ReceiveAndExecute();
    void ExtractCommands();
    void ProcessCommand();
    void EndSession();
    bool CreateDirectoryTree(const QByteArray& local);
    bool MoveRenameSource(const QByteArray& target, Text done, Text failed);
    bool ConnectActive();
    void NewDataSocket();
    void ForgetDataSettings();

    CClientThread* m_pThread;
    QByteArray m_strUser;
    bool m_bRenameIsFile = false;
    QByteArray m_strRenameFrom;
    int m_nState = SESSION_NOT_LOGGED_IN;
    qint64 m_nRestartOffset = 0;
    bool m_bPassive = false;
    int m_nDataPort = -1;
    QByteArray m_strDataHost;
    CVirtualPath m_Paths; // home and current directory, set at login
    std::unique_ptr<CDataSocket> m_pDataSocket;
    // Counts the data sockets made, so that a posted close names its own.
    quint64 m_nDataSocketNumber = 0;
    QByteArray m_strRecvBuffer;
    QList<QByteArray> m_CommandQueue;
};
