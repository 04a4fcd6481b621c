#pragma once

#include <cstdint>
#include <string>

class CClientThread;

// The rights a command may need; None for commands every logged-in user has.
enum class Right {
    None,
    Download,
    Upload,
    Delete,
    CreateDir,
    Rename,
};

// What a session needs from the server that started it: a place to post its
// notifications (connected, disconnected, log texts), the shared settings, and
// the registry it leaves at its end. Every call may come from any session
// thread and never blocks on the window's thread. Sessions hold the host by
// shared ownership, so a session that outlives a stop still has one.
class ISessionHost {
public:
    virtual ~ISessionHost() = default;

    virtual void PostClientConnected(const std::string& address, uint32_t threadId) = 0;
    virtual void PostClientDisconnected(const std::string& address, uint32_t threadId) = 0;
    virtual void PostServerLog(const std::string& text, uint32_t threadId) = 0;

    // The stored value of a right, read afresh for each command: on when not 0.
    virtual int RightValue(Right right) const = 0;
    // The root directory as the settings hold it now (copied at each login).
    virtual std::string HomeDirectory() const = 0;

    // Called once by a session at its end, on its own thread.
    virtual void Unregister(CClientThread* thread) = 0;
};
