#include "host_services.h"

#include "socket_handle.h"

#include <QRandomGenerator>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace tramelo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr quint8 icmpEchoReply = 0;
constexpr quint8 icmpDestinationUnreachable = 3;
constexpr quint8 icmpEchoRequest = 8;
constexpr quint8 icmpTimeExceeded = 11;
constexpr int icmpHeaderSize = 8;

int openIcmpSocket(SystemHostServices::IcmpSocket kind, bool &raw)
{
    using Kind = SystemHostServices::IcmpSocket;
    int fd = -1;
    raw = false;
    if (kind != Kind::RawOnly)
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0 && kind != Kind::DatagramOnly) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = fd >= 0;
    }
    return fd;
}

quint16 internetChecksum(const QByteArray &bytes)
{
    quint32 sum = 0;
    const auto *data = reinterpret_cast<const quint8 *>(bytes.constData());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i + 1 < size; i += 2)
        sum += quint32(data[i]) << 8 | data[i + 1];
    if (size % 2)
        sum += quint32(data[size - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

quint16 read16(const quint8 *p)
{
    return quint16(p[0] << 8 | p[1]);
}

IPv4Address addressOf(const in_addr &address)
{
    IPv4Address result;
    std::memcpy(result.bytes.data(), &address.s_addr, 4);
    return result;
}

quint32 unreachableStatus(quint8 type, quint8 code)
{
    if (type == icmpTimeExceeded)
        return echo_status::ttlExpiredTransit;
    switch (code) {
    case 0:
        return echo_status::destinationNetUnreachable;
    case 2:
        return echo_status::destinationProtocolUnreachable;
    case 3:
        return echo_status::destinationPortUnreachable;
    default:
        return echo_status::destinationHostUnreachable;
    }
}

quint32 elapsedMs(Clock::time_point since)
{
    return quint32(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Judges one received packet. Returns true when it answers our request
// (an echo reply, or for a raw socket an error message about it).
bool judgePacket(const quint8 *packet, qsizetype size, bool raw, quint16 id, quint16 sequence,
                 const IPv4Address &target, const sockaddr_in &from, Clock::time_point sent,
                 EchoReply &reply)
{
    const quint8 *icmp = packet;
    qsizetype icmpSize = size;
    if (raw) {
        if (size < 20)
            return false;
        const int headerSize = (packet[0] & 0x0F) * 4;
        if (headerSize < 20 || size < headerSize + icmpHeaderSize)
            return false;
        icmp = packet + headerSize;
        icmpSize = size - headerSize;
    }
    if (icmpSize < icmpHeaderSize)
        return false;
    const quint8 type = icmp[0];
    if (type == icmpEchoReply && icmp[1] == 0) {
        // A datagram socket's identifier is its port, set by the kernel,
        // which delivers only the replies meant for it.
        if ((raw && read16(icmp + 4) != id) || read16(icmp + 6) != sequence)
            return false;
        reply.status = echo_status::success;
        reply.replyAddress = addressOf(from.sin_addr);
        reply.roundTripMs = elapsedMs(sent);
        reply.data = QByteArray(reinterpret_cast<const char *>(icmp + icmpHeaderSize), icmpSize - icmpHeaderSize);
        return true;
    }
    if (raw && (type == icmpDestinationUnreachable || type == icmpTimeExceeded)) {
        // The error quotes our request: its IP header and first 8 bytes.
        const quint8 *quoted = icmp + icmpHeaderSize;
        const qsizetype quotedSize = icmpSize - icmpHeaderSize;
        if (quotedSize < 20)
            return false;
        const int quotedHeaderSize = (quoted[0] & 0x0F) * 4;
        if (quotedHeaderSize < 20 || quotedSize < quotedHeaderSize + icmpHeaderSize)
            return false;
        if (std::memcmp(quoted + 16, target.bytes.data(), 4) != 0)
            return false;
        const quint8 *request = quoted + quotedHeaderSize;
        if (request[0] != icmpEchoRequest || read16(request + 4) != id || read16(request + 6) != sequence)
            return false;
        reply.status = unreachableStatus(type, icmp[1]);
        reply.replyAddress = addressOf(from.sin_addr);
        reply.roundTripMs = elapsedMs(sent);
        return true;
    }
    return false;
}

EchoReply echoOnce(SystemHostServices::IcmpSocket kind, const IPv4Address &target, const QByteArray &payload,
                   std::chrono::milliseconds timeout)
{
    EchoReply reply;
    const Clock::time_point deadline = Clock::now() + timeout;

    bool raw = false;
    const SocketHandle socket(openIcmpSocket(kind, raw));
    if (!socket.isValid())
        return reply;

    const quint32 random = QRandomGenerator::global()->generate();
    const quint16 id = quint16(random >> 16);
    const quint16 sequence = quint16(random);
    QByteArray packet(icmpHeaderSize, '\0');
    packet[0] = char(icmpEchoRequest);
    packet[4] = char(id >> 8);
    packet[5] = char(id);
    packet[6] = char(sequence >> 8);
    packet[7] = char(sequence);
    packet += payload;
    const quint16 checksum = internetChecksum(packet);
    packet[2] = char(checksum >> 8);
    packet[3] = char(checksum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_addr.s_addr, target.bytes.data(), 4);

    const Clock::time_point sent = Clock::now();
    ssize_t written;
    do {
        written = ::sendto(socket.get(), packet.constData(), size_t(packet.size()), MSG_NOSIGNAL,
                           reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        if (errno == ENETUNREACH)
            reply.status = echo_status::destinationNetUnreachable;
        else if (errno == EHOSTUNREACH)
            reply.status = echo_status::destinationHostUnreachable;
        return reply;
    }

    QByteArray buffer(65536, '\0');
    for (;;) {
        // Read everything that is already there before waiting again.
        for (;;) {
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = ::recvfrom(socket.get(), buffer.data(), size_t(buffer.size()), MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr *>(&from), &fromSize);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (judgePacket(reinterpret_cast<const quint8 *>(buffer.constData()), got, raw, id, sequence,
                            target, from, sent, reply))
                return reply;
        }
        const Clock::duration remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) {
            reply.status = echo_status::requestTimedOut;
            return reply;
        }
        const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(remaining).count();
        timespec wait{};
        wait.tv_sec = time_t(nanoseconds / 1000000000);
        wait.tv_nsec = long(nanoseconds % 1000000000);
        pollfd poll{socket.get(), POLLIN, 0};
        const int ready = ::ppoll(&poll, 1, &wait, nullptr);
        if (ready < 0 && errno != EINTR) {
            reply.status = echo_status::generalFailure;
            return reply;
        }
    }
}

} // namespace

QString IPv4Address::toString() const
{
    return QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
}

HostServices::~HostServices() = default;

QString SystemHostServices::localHostName()
{
    char name[257] = {};
    if (::gethostname(name, 256) != 0)
        return {};
    name[256] = '\0';
    return QString::fromLocal8Bit(name, qsizetype(std::strlen(name)));
}

std::optional<IPv4Address> SystemHostServices::resolveIPv4(const QString &name)
{
    if (name.isEmpty() || name.contains(QChar(u'\0')))
        return std::nullopt;
    const QByteArray encoded = name.toLocal8Bit();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(encoded.constData(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    std::optional<IPv4Address> address;
    for (const addrinfo *entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            address = addressOf(reinterpret_cast<const sockaddr_in *>(entry->ai_addr)->sin_addr);
            break;
        }
    }
    ::freeaddrinfo(found);
    return address;
}

EchoReply SystemHostServices::echo(const IPv4Address &target, const QByteArray &payload,
                                   std::chrono::milliseconds timeout)
{
    return echoOnce(m_icmpSocket, target, payload, timeout);
}

bool SystemHostServices::canOpen(IcmpSocket icmpSocket)
{
    bool raw = false;
    const SocketHandle socket(openIcmpSocket(icmpSocket, raw));
    return socket.isValid();
}

std::shared_ptr<HostServices> systemHostServices()
{
    static const std::shared_ptr<HostServices> services = std::make_shared<SystemHostServices>();
    return services;
}

} // namespace tramelo
