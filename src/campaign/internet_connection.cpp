#include "internet_connection.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <utility>

namespace tramelo {
namespace {

bool hasOutsideLink(const QList<InterfaceAddress> &addresses)
{
    return std::any_of(addresses.begin(), addresses.end(),
                       [](const InterfaceAddress &a) { return !a.loopback && a.upAndRunning; });
}

// Only literal addresses and "localhost" are judged: resolving any other name
// would send a query to the name server before every message.
bool isThisMachine(const QString &host, const QList<InterfaceAddress> &addresses)
{
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress literal(host);
    if (literal.isNull())
        return false;
    if (literal.isLoopback())
        return true;
    return std::any_of(addresses.begin(), addresses.end(), [&literal](const InterfaceAddress &a) {
        return !a.address.isNull() && a.address.isEqual(literal, QHostAddress::TolerantConversion);
    });
}

} // namespace

QList<InterfaceAddress> systemInterfaceAddresses()
{
    QList<InterfaceAddress> list;
    ifaddrs *first = nullptr;
    if (getifaddrs(&first) != 0)
        return list;
    for (const ifaddrs *entry = first; entry; entry = entry->ifa_next) {
        InterfaceAddress item;
        item.loopback = entry->ifa_flags & IFF_LOOPBACK;
        item.upAndRunning = (entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING);
        const sockaddr *address = entry->ifa_addr;
        if (address && (address->sa_family == AF_INET || address->sa_family == AF_INET6))
            item.address = QHostAddress(address);
        list.append(item);
    }
    freeifaddrs(first);
    return list;
}

SystemInternetConnection::SystemInternetConnection(InterfaceLister lister)
    : m_lister(std::move(lister))
{
}

ConnectedState SystemInternetConnection::connectedState(const QString &smtpHost)
{
    const QList<InterfaceAddress> addresses = m_lister();
    if (hasOutsideLink(addresses) || isThisMachine(smtpHost, addresses))
        return {1, connectedThroughLan};
    return {0, 0};
}

} // namespace tramelo
