#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "platform/text_table.h"
#include "server/listen_socket.h"
#include "server/server_settings.h"
#include "server/session_hub.h"

class CClientThread;
class IServerView;

// Start and Stop, the listener, the connection count and the log rows of the
// server; it drives its window through IServerView. Lives on the main
// thread; the registry of sessions it shares with them lives in the hub.
class CServerControl {
public:
    static constexpr uint16_t kControlPort = 21;
    // Connections the system completes for us before we accept them. A
    // client waits for our greeting without sending anything, so one whose
    // handshake was completed by a SYN cookie while this queue was full is
    // dropped without a word and waits forever; the queue has to take a
    // whole burst of clients (the system caps it at its own maximum).
    static constexpr int kClientBacklog = 4096;
    static constexpr int kThreadStopTimeoutMs = 5000;
    // Once at least kGiveBackSessions have ended and the sessions have
    // fallen to half of what they were, the memory they used goes back to
    // the system a moment later (a crowd leaves within moments), at most
    // once a moment.
    static constexpr int kGiveBackSessions = 64;
    static constexpr int kGiveBackDelayMs = 1000;

    // The port is a parameter for tests only; the program always uses 21.
    CServerControl(IServerView* pView, std::shared_ptr<CServerSettings> pSettings,
                   uint16_t nPort = kControlPort, const char* address = nullptr);
    ~CServerControl();

    void StartServer();
    void StopServer();
    bool IsRunning() const { return m_bServerRunning; }
    int Connections() const { return m_nConnections; }
    uint16_t ListeningPort() const;

    // The accept path: a session thread for the accepted descriptor.
    void StartSession(SocketHandle hAcceptedSocket);

    void OnClientConnected(const std::string& address, uint32_t threadId);
    void OnClientDisconnected(const std::string& address, uint32_t threadId);
    void OnServerLog(const std::string& text, uint32_t threadId);
    // Appends one row: the thread id and the message formatted from a Big5 template.
    template <typename... Arguments>
    void AddLogLine(uint32_t threadId, TextTemplate<std::decay_t<Arguments>...> text, const Arguments&... arguments)
    {
        AddLogText(threadId, CTextTable::Format(text, arguments...));
    }
    void AddLogText(uint32_t threadId, const std::string& message);

    CSessionHub& Hub() const { return *m_pHub; }
    // Tests shorten the wait for a session that does not end.
    void SetStopTimeout(int timeoutMs) { m_nStopTimeoutMs = timeoutMs; }

private:
    void StopSession(CClientThread* pThread);
    void GiveBackMemory();
    void OnNotification(const CSessionHub::Notification& notification);

    IServerView* m_pView;
    // The main thread's, where sessions post their notifications and their ends.
    CEventLoop& m_Loop;
    std::shared_ptr<CServerSettings> m_pSettings;
    std::shared_ptr<CSessionHub> m_pHub;
    int m_nConnections = 0;
    // Since memory was last given back: the most sessions at once, and how many ended.
    int m_nPeakConnections = 0;
    int m_nEndedConnections = 0;
    // The memory is given back when this runs out (0: not due).
    int m_nGiveBackTimerId = 0;
    CListenSocket m_ListenSocket;
    bool m_bServerRunning = false;
    uint16_t m_nPort;
    int m_nStopTimeoutMs = kThreadStopTimeoutMs;
    std::string m_strAddress;
};
