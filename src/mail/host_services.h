#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <chrono>
#include <memory>
#include <optional>

namespace tramelo {

// An IPv4 address as its four bytes, in network order (a.b.c.d is
// {a, b, c, d}).
struct IPv4Address {
    std::array<quint8, 4> bytes{};

    // The four bytes in decimal joined by ".", e.g. "127.0.0.1".
    QString toString() const;
    friend bool operator==(const IPv4Address &, const IPv4Address &) = default;
};

// Reply status of an ICMP echo (0 is success), numbered like the IP_STATUS
// codes of the Windows echo service.
namespace echo_status {
inline constexpr quint32 success = 0;
inline constexpr quint32 destinationNetUnreachable = 11002;
inline constexpr quint32 destinationHostUnreachable = 11003;
inline constexpr quint32 destinationProtocolUnreachable = 11004;
inline constexpr quint32 destinationPortUnreachable = 11005;
inline constexpr quint32 requestTimedOut = 11010;
inline constexpr quint32 ttlExpiredTransit = 11013;
inline constexpr quint32 generalFailure = 11050;
} // namespace echo_status

// What one echo request brought back. With no reply at all the address is
// 0.0.0.0, the round trip 0 and the data empty.
struct EchoReply {
    quint32 status = echo_status::generalFailure;
    IPv4Address replyAddress;
    quint32 roundTripMs = 0;
    QByteArray data; // the echoed data, as received
};

// The operating system's name services and ICMP echo, as the component uses them.
// Replaceable in tests (MailPlatform::hostServices). No member throws, and
// echo never blocks longer than the time-out it is given.
class HostServices
{
public:
    virtual ~HostServices();

    // The local host's name, empty when it cannot be had.
    virtual QString localHostName() = 0;
    // The first IPv4 address of the name, nothing when it does not resolve.
    virtual std::optional<IPv4Address> resolveIPv4(const QString &name) = 0;
    // Sends one echo request carrying the payload and waits for its reply.
    virtual EchoReply echo(const IPv4Address &target, const QByteArray &payload,
                           std::chrono::milliseconds timeout) = 0;
};

// The Linux services: gethostname, getaddrinfo (AF_INET, first address), and
// an ICMP echo over an unprivileged ICMP datagram socket (SOCK_DGRAM,
// IPPROTO_ICMP), falling back to a raw socket when that one is refused.
class SystemHostServices final : public HostServices
{
public:
    // Which ICMP socket to use; Automatic is the product's choice, the others
    // let tests exercise one kind alone.
    enum class IcmpSocket { Automatic, DatagramOnly, RawOnly };

    explicit SystemHostServices(IcmpSocket icmpSocket = IcmpSocket::Automatic)
        : m_icmpSocket(icmpSocket)
    {
    }

    QString localHostName() override;
    std::optional<IPv4Address> resolveIPv4(const QString &name) override;
    EchoReply echo(const IPv4Address &target, const QByteArray &payload,
                   std::chrono::milliseconds timeout) override;

    // Whether this process may open a socket of that kind.
    static bool canOpen(IcmpSocket icmpSocket);

private:
    IcmpSocket m_icmpSocket;
};

// The shared system services, used when MailPlatform::hostServices is null.
std::shared_ptr<HostServices> systemHostServices();

} // namespace tramelo
