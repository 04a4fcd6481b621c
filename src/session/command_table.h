#pragma once

#include <string_view>

#include "session/session_host.h"

class CControlSocket;

// Whether a verb may run before the client has logged in.
enum class Login {
    Required,
    NotRequired,
};

// One verb of the interpreter: whether it waits for the login, the right it
// needs and the handler that runs it.
struct CommandEntry {
    std::string_view verb; // upper-case ASCII
    Login login;
    Right right; // Right::None when no right applies
    void (CControlSocket::*handler)(std::string_view argument);
};

// Looks a verb up in the table, in the order of testing. A verb that ends
// with ABOR after other bytes (the Telnet interrupt a client sends ahead of
// it) is taken as ABOR; anything else unknown gets the unknown-verb entry.
class CCommandTable {
public:
    static const CommandEntry& Find(std::string_view verb);
};
