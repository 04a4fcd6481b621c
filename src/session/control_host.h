#pragma once

#include <string>

#include "session/session_host.h"

// What a control connection needs of the thread it lives on: a place for its
// log texts, a way to end the session, the server that started it, and the
// address of its client. The session thread is the one implementation; the
// control connection sees no more of it than this.
class IControlHost {
public:
    virtual ~IControlHost() = default;

    // Posts one log text to the window, tagged with the session's thread.
    virtual void PostLog(const std::string& text) = 0;
    // Ends the session once the running command and notification return.
    virtual void QuitSession() = 0;
    virtual ISessionHost& Host() const = 0;
    // The client's address: the only one its data connections may use.
    virtual const std::string& PeerAddress() const = 0;
};
