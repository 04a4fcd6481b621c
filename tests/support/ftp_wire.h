#pragma once

#include <netinet/in.h>

#include <QByteArray>

#include "platform/text_table.h"

// What the test clients share of talking FTP over plain sockets: addresses,
// reply lines out of a receive buffer, the passive reply, the listener that
// PORT announces, and ending a control connection. The clients differ only
// in how they wait.
class CFtpWire {
public:
    static sockaddr_in Address(const char* address, quint16 port);
    // A blocking connection to the port on 127.0.0.1, or -1; a receive buffer
    // size above 0 is set before connecting, so the window starts that small.
    static int ConnectLoopback(quint16 port, int receiveBuffer = 0);
    // The same from a socket bound to the local address first (another
    // loopback address plays another machine).
    static int ConnectFrom(const char* localAddress, quint16 port);
    // A listener on the address with a port chosen by the system; -1 on failure.
    static int Listen(const char* address, quint16& port, int backlog = 5);
    // Moves the first whole line (without its CR LF) out of the buffer.
    static bool TakeLine(QByteArray& pending, QByteArray& line);
    // The data address a 227 reply names.
    static bool ParsePassive(const QByteArray& reply, QByteArray& host, quint16& port);
    // A listener on a free loopback port and the PORT command that names it;
    // the listener or -1.
    static int ListenForActive(int backlog, QByteArray& portCommand);
    // Closes the handle (if any) and forgets it and what was buffered.
    static void Close(int& handle, QByteArray& pending);
    // The same, with a reset instead of an orderly close.
    static void Reset(int& handle, QByteArray& pending);
    // Greeting, USER anonymous, PASS, through any client's line calls.
    template <class Client>
    static bool Login(Client& client);
};

template <class Client>
bool CFtpWire::Login(Client& client)
{
    return client.ReadLine() == CTextTable::Big5(Text::Greeting)
        && client.Command("USER anonymous") == CTextTable::Big5(Text::ReplyUserOk)
        && client.Command("PASS guest") == CTextTable::Big5(Text::ReplyLoggedIn);
}
