#include "dns_udp_exchange.h"

#include "socket_handle.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>

namespace tramelo::modMXQuery {
namespace {

// A dotted address as it is; otherwise the name's first IPv4 address.
std::optional<in_addr> ipv4AddressOf(const QString &server)
{
    const QByteArray text = server.toLatin1();
    in_addr address{};
    if (::inet_pton(AF_INET, text.constData(), &address) == 1)
        return address;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(text.constData(), nullptr, &hints, &found) != 0 || found == nullptr)
        return std::nullopt;
    address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return address;
}

bool waitForDatagram(int descriptor, std::chrono::milliseconds wait)
{
    QDeadlineTimer deadline(wait);
    for (;;) {
        pollfd entry{descriptor, POLLIN, 0};
        const int ready = ::poll(&entry, 1, int(deadline.remainingTime()));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR || deadline.hasExpired())
            return false;
    }
}

} // namespace

Exchange exchangeDatagram(const QString &server, quint16 port, const QByteArray &datagram,
                          std::chrono::milliseconds wait)
{
    Exchange exchange;
    const std::optional<in_addr> address = ipv4AddressOf(server);
    if (!address) {
        exchange.outcome = ExchangeOutcome::NoAddress;
        return exchange;
    }
    const SocketHandle socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket.isValid()) {
        exchange.outcome = ExchangeOutcome::NoSocket;
        return exchange;
    }

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr = *address;
    if (::connect(socket.get(), reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0
        || ::send(socket.get(), datagram.constData(), std::size_t(datagram.size()), 0) <= 0) {
        exchange.outcome = ExchangeOutcome::SendFailed;
        return exchange;
    }

    if (!waitForDatagram(socket.get(), wait)) {
        exchange.outcome = ExchangeOutcome::NoReply;
        return exchange;
    }
    const ssize_t received = ::recv(socket.get(), exchange.reply.bytes.data(), ReplyBuffer::capacity, 0);
    if (received <= 0) {
        exchange.outcome = ExchangeOutcome::NoReply;
        return exchange;
    }
    exchange.reply.receivedLength = std::size_t(received);
    exchange.outcome = ExchangeOutcome::Replied;
    return exchange;
}

} // namespace tramelo::modMXQuery
