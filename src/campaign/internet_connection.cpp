#include "internet_connection.h"

#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
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

// A route netlink socket subscribed to the kernel's announcements of link and
// address changes.
class InterfaceChangeWatch
{
public:
    InterfaceChangeWatch()
        : m_socket(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE))
    {
        sockaddr_nl groups{};
        groups.nl_family = AF_NETLINK;
        groups.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
        if (m_socket >= 0 && bind(m_socket, reinterpret_cast<const sockaddr *>(&groups), sizeof groups) != 0) {
            close(m_socket);
            m_socket = -1;
        }
    }
    ~InterfaceChangeWatch()
    {
        if (m_socket >= 0)
            close(m_socket);
    }
    InterfaceChangeWatch(const InterfaceChangeWatch &) = delete;
    InterfaceChangeWatch &operator=(const InterfaceChangeWatch &) = delete;

    // Reads the announcements waiting; true when there was one, when some were
    // lost (a full receive buffer) or when nothing can be watched.
    bool changedSinceLastAsked()
    {
        if (m_socket < 0)
            return true;
        constexpr int maximumReads = 64; // announcements that keep coming must not hold the run
        char buffer[8192];
        bool changed = false;
        for (int attempt = 0; attempt < maximumReads; ++attempt) {
            if (recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) {
                changed = true;
                continue;
            }
            if (errno == EINTR)
                continue;
            return changed || (errno != EAGAIN && errno != EWOULDBLOCK);
        }
        return true;
    }

private:
    int m_socket;
};

} // namespace

InterfaceLister watchedSystemInterfaceAddresses()
{
    struct Watched {
        // Subscribed before the first listing, so no change falls between them.
        InterfaceChangeWatch watch;
        std::optional<QList<InterfaceAddress>> listing;
    };
    const auto watched = std::make_shared<Watched>();
    return [watched] {
        if (watched->watch.changedSinceLastAsked() || !watched->listing)
            watched->listing = systemInterfaceAddresses();
        return *watched->listing;
    };
}

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
