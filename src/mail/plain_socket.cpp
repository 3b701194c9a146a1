#include "plain_socket.h"

#include <QHostInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tramelo {
namespace {

// What one read takes from the kernel; a server that floods the connection
// waits in its own send queue.
constexpr qsizetype readChunkBytes = 64 * 1024;
// As long as Qt's sockets gave an address to answer.
constexpr std::chrono::seconds connectTimeout{30};

// The texts of Qt's socket engine for the same conditions.
QString errorText(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return QStringLiteral("Connection refused");
    case ETIMEDOUT:
        return QStringLiteral("Connection timed out");
    case ENETUNREACH:
        return QStringLiteral("Network unreachable");
    case EHOSTUNREACH:
        return QStringLiteral("Host unreachable");
    case EADDRNOTAVAIL:
        return QStringLiteral("The address is not available");
    case EACCES:
    case EPERM:
        return QStringLiteral("Permission denied");
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return QStringLiteral("Out of resources");
    default:
        return QStringLiteral("Unknown error");
    }
}

// The system's form of an address; false for one it cannot take.
bool toSockaddr(const QHostAddress &address, quint16 port, sockaddr_storage &storage, socklen_t &length)
{
    storage = {};
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
        return true;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6->sin6_addr, bytes.c, sizeof bytes.c);
        const QString scope = address.scopeId();
        bool numeric = false;
        const uint index = scope.toUInt(&numeric);
        v6->sin6_scope_id = numeric ? index : (scope.isEmpty() ? 0 : ::if_nametoindex(scope.toLatin1().constData()));
        length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

} // namespace

PlainSocket::~PlainSocket()
{
    close();
}

void PlainSocket::connectToHost(const QString &host, quint16 port)
{
    close();
    m_port = port;
    m_error = QStringLiteral("Unknown error");
    QHostAddress literal;
    if (literal.setAddress(host)) {
        m_addresses = {literal};
        connectToNextAddress();
        return;
    }
    m_state = State::HostLookup;
    m_lookupContext = std::make_unique<QObject>();
    m_lookupId = QHostInfo::lookupHost(host, m_lookupContext.get(),
                                       [this](const QHostInfo &info) { lookedUp(info.addresses()); });
}

void PlainSocket::lookedUp(const QList<QHostAddress> &addresses)
{
    m_lookupId = -1;
    if (addresses.isEmpty()) {
        m_state = State::Unconnected;
        m_error = QStringLiteral("Host not found");
        m_pending.failed = true;
        return;
    }
    m_addresses = addresses;
    connectToNextAddress();
}

void PlainSocket::connectToNextAddress()
{
    while (!m_addresses.isEmpty()) {
        const QHostAddress address = m_addresses.takeFirst();
        sockaddr_storage storage;
        socklen_t length = 0;
        if (!toSockaddr(address, m_port, storage, length)) {
            m_error = QStringLiteral("Unknown error");
            continue;
        }
        m_descriptor = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (m_descriptor < 0) {
            m_error = errorText(errno);
            continue;
        }
        if (::connect(m_descriptor, reinterpret_cast<const sockaddr *>(&storage), length) == 0) {
            finishConnecting(POLLOUT);
            return;
        }
        if (errno == EINPROGRESS) {
            m_state = State::Connecting;
            m_connectDeadline.setRemainingTime(connectTimeout);
            return;
        }
        m_error = errorText(errno);
        closeDescriptor();
    }
    m_state = State::Unconnected;
    m_pending.failed = true;
}

void PlainSocket::finishConnecting(short events)
{
    // A server that accepted and closed at once is connected, and then gone.
    int error = 0;
    if (events & (POLLERR | POLLHUP)) {
        socklen_t length = sizeof error;
        if (::getsockopt(m_descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
    }
    if (error != 0) {
        abandonAddress(errorText(error));
        return;
    }
    // A message leaves in several pieces (headers, body, "."): with Nagle's
    // algorithm the last one waits for the server's delayed acknowledgement.
    const int on = 1;
    ::setsockopt(m_descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_state = State::Connected;
    m_pending.connected = true;
}

void PlainSocket::abandonAddress(const QString &error)
{
    m_error = error;
    closeDescriptor();
    connectToNextAddress();
}

void PlainSocket::close()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    m_lookupContext.reset();
    closeDescriptor();
    m_addresses.clear();
    m_state = State::Unconnected;
    m_pending = {};
}

void PlainSocket::closeDescriptor()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_queue.clear();
    m_queuePos = 0;
    m_writeFailed = false;
}

qint64 PlainSocket::write(QByteArrayView bytes)
{
    if (m_state != State::Connected || m_writeFailed)
        return 0;
    if (bytesToWrite() > 0) {
        m_queue.append(bytes);
        return 0;
    }
    const qint64 taken = sendSome(bytes);
    if (!m_writeFailed && taken < bytes.size()) {
        m_queue = bytes.sliced(taken).toByteArray();
        m_queuePos = 0;
    }
    return taken;
}

void PlainSocket::sendQueue()
{
    const qint64 taken = sendSome(QByteArrayView(m_queue).sliced(m_queuePos));
    m_pending.written += taken;
    m_queuePos += taken;
    if (m_writeFailed || m_queuePos == m_queue.size()) {
        m_queue.clear();
        m_queuePos = 0;
    }
}

qint64 PlainSocket::sendSome(QByteArrayView bytes)
{
    qint64 taken = 0;
    while (taken < bytes.size()) {
        const ssize_t sent = ::send(m_descriptor, bytes.data() + taken, size_t(bytes.size() - taken),
                                    MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            taken += sent;
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // The connection is lost; the next read finds the peer's close or
        // reset, after whatever the peer said last.
        m_writeFailed = true;
        break;
    }
    return taken;
}

bool hasInputWaiting(int descriptor)
{
    pollfd waiting{descriptor, POLLIN, 0};
    return ::poll(&waiting, 1, 0) != 0;
}

qint64 unacknowledgedBytes(int descriptor)
{
    int queued = 0;
    if (descriptor < 0 || ::ioctl(descriptor, SIOCOUTQ, &queued) != 0)
        return 0;
    return std::max(queued, 0);
}

bool PlainSocket::hasUnreadInput() const
{
    return m_descriptor >= 0 && hasInputWaiting(m_descriptor);
}

PlainSocket::Activity PlainSocket::wait(std::chrono::milliseconds timeout)
{
    if (!m_pending.any() && m_descriptor >= 0) {
        if (m_state == State::Connecting)
            waitForConnection(timeout);
        else
            waitForData(timeout);
    }
    return std::exchange(m_pending, {});
}

void PlainSocket::waitForConnection(std::chrono::milliseconds timeout)
{
    // Mail servers speak first: the greeting also says that the connection
    // is made, which spares a wait for the connection alone. Without a
    // greeting within the wait, a look that does not wait tells.
    timeout = std::min(timeout, std::chrono::ceil<std::chrono::milliseconds>(m_connectDeadline.remainingTimeAsDuration()));
    pollfd descriptor{m_descriptor, POLLIN, 0};
    int ready = ::poll(&descriptor, 1, int(std::max<qint64>(0, timeout.count())));
    if (ready == 0) {
        descriptor.events = POLLOUT;
        ready = ::poll(&descriptor, 1, 0);
    }
    if (ready > 0) {
        finishConnecting(descriptor.revents);
        if (m_state == State::Connected && (descriptor.revents & POLLIN))
            receive();
    } else if (ready == 0 && m_connectDeadline.hasExpired()) {
        abandonAddress(QStringLiteral("Connection timed out"));
    }
}

void PlainSocket::waitForData(std::chrono::milliseconds timeout)
{
    pollfd descriptor{m_descriptor, POLLIN, 0};
    if (bytesToWrite() > 0)
        descriptor.events |= POLLOUT;
    if (::poll(&descriptor, 1, int(std::max<qint64>(0, timeout.count()))) <= 0)
        return;
    if (descriptor.revents & POLLOUT)
        sendQueue();
    if (descriptor.revents & (POLLIN | POLLHUP | POLLERR))
        receive();
}

void PlainSocket::receive()
{
    if (m_readBuffer.isEmpty())
        m_readBuffer.resize(readChunkBytes);
    const ssize_t got = ::recv(m_descriptor, m_readBuffer.data(), size_t(m_readBuffer.size()), MSG_DONTWAIT);
    if (got > 0) {
        m_pending.received = m_readBuffer.first(got);
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    // The end of the stream, or a reset: the peer is gone, as Qt's sockets
    // report it (not an error). Any other failure is one.
    const int error = got < 0 ? errno : 0;
    if (error != 0 && error != ECONNRESET && error != EPIPE) {
        m_error = errorText(error);
        m_pending.failed = true;
    }
    closeDescriptor();
    m_state = State::Unconnected;
    m_pending.closed = true;
}

} // namespace tramelo
