#pragma once

#include <string_view>

#include <QByteArray>

#include "session/session_host.h"

class CControlSocket;

// One verb of the interpreter: the right it needs and the handler that runs it.
struct CommandEntry {
    std::string_view verb; // upper-case ASCII
    Right right;           // Right::None when no right applies
    void (CControlSocket::*handler)(const QByteArray& argument);
};

// Looks a verb up in the table, in the order of testing. A verb that ends
// with ABOR after other bytes (the Telnet interrupt a client sends ahead of
// it) is taken as ABOR; anything else unknown gets the unknown-verb entry.
class CCommandTable {
public:
    static const CommandEntry& Find(const QByteArray& verb);
};
