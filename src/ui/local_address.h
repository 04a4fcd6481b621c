#pragma once

#include <QByteArray>
#include <QString>

// This computer's IPv4 address as clients on the network would use it: the
// first IPv4 address that resolving the host name yields.
class CLocalAddress {
public:
    // Dotted-decimal text of the first IPv4 address of the host, or false
    // (and an empty text) when the name does not resolve to one.
    static bool Lookup(const QByteArray& hostName, QString& address);
    // What the address dialog shows: the address, or loopback when there is none.
    static QString ForDisplay(const QByteArray& hostName);
    static QString OwnForDisplay();
};
