#include "ui/local_address.h"

#include <arpa/inet.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kHostNameSize = 128;
const QString kLoopback = QStringLiteral("127.0.0.1");

struct AddressListDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

QByteArray OwnHostName()
{
    char name[kHostNameSize] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return QByteArray();
    return QByteArray(name);
}

} // namespace

bool CLocalAddress::Lookup(const QByteArray& hostName, QString& address)
{
    address.clear();
    if (hostName.isEmpty())
        return false;

    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(hostName.constData(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    const std::unique_ptr<addrinfo, AddressListDeleter> list(found);

    const auto* first = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &first->sin_addr, text, sizeof text) == nullptr)
        return false;
    address = QString::fromLatin1(text);
    return true;
}

QString CLocalAddress::ForDisplay(const QByteArray& hostName)
{
    QString address;
    return Lookup(hostName, address) ? address : kLoopback;
}

QString CLocalAddress::OwnForDisplay()
{
    return ForDisplay(OwnHostName());
}
