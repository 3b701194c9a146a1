#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

namespace tramelo {

// One answer of the connection-state query.
struct ConnectedState {
    int result = 0;     // nonzero when on line; a send insists on exactly 1
    quint32 flags = 0;  // connectedThroughLan among others
};
inline constexpr quint32 connectedThroughLan = 2;

// Whether the machine is on line, bringing up the system's default dial-up
// connection, and hanging it up again. Tests replace it to play every case.
class InternetConnection
{
public:
    virtual ~InternetConnection() = default;

    // Asked for a message that goes to this SMTP host (without its port).
    virtual ConnectedState connectedState(const QString &smtpHost) = 0;
    // The handle of the connection brought up, for hangUp.
    virtual quint32 dial() = 0;
    virtual void hangUp(quint32 handle) = 0;
};

// One address of one network interface, as the system lists them; entries
// without an IP address (link-layer ones) have a null address.
struct InterfaceAddress {
    bool loopback = false;
    bool upAndRunning = false;
    QHostAddress address;
};
using InterfaceLister = std::function<QList<InterfaceAddress>()>;

// Every address of every interface, from getifaddrs; empty when it fails.
QList<InterfaceAddress> systemInterfaceAddresses();

// systemInterfaceAddresses, listed again only when the kernel has announced a
// change of a link or an address since the last listing: a listing costs two
// netlink dumps (some 30 microseconds), and every message asks twice. Where
// the announcements cannot be received, every call lists.
InterfaceLister watchedSystemInterfaceAddresses();

// There is no dial-up on this system: the machine is on line, through a LAN,
// when an interface other than loopback is up and running, or when the SMTP
// server is this machine itself (a loopback address, "localhost" or one of
// the interfaces' own addresses; no other name is resolved to decide it).
// Dialling and hanging up do nothing.
class SystemInternetConnection : public InternetConnection
{
public:
    explicit SystemInternetConnection(InterfaceLister lister = watchedSystemInterfaceAddresses());

    ConnectedState connectedState(const QString &smtpHost) override;
    quint32 dial() override { return 0; }
    void hangUp(quint32) override {}

private:
    InterfaceLister m_lister;
};

} // namespace tramelo
