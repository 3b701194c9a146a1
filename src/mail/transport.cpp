#include "transport.h"

#include "certificate_failure.h"
#include "stop_signal.h"
#include "tls_context.h"

#include <QUrl>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tramelo {
namespace {

// What one read takes: a server that floods the connection waits in its own
// send queue, and the reply reader bounds what it keeps.
constexpr int readChunkBytes = 64 * 1024;
// What a drop of unread clear text reads at most before the handshake.
constexpr int dropReadsAtMost = 16;

// The words of Qt's sockets for the same conditions.
QString socketErrorText(int error)
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

bool isGone(int error)
{
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN;
}

int pollTimeout(Transport::Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Transport::Clock::now());
    return int(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INT_MAX));
}

bool isAddressLiteral(const QByteArray &host)
{
    unsigned char address[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.constData(), address) == 1 || ::inet_pton(AF_INET6, host.constData(), address) == 1;
}

// The queue of OpenSSL's errors as Qt's sockets worded it.
QString openSslErrors()
{
    QString text;
    char buffer[256];
    while (const unsigned long error = ERR_get_error()) {
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        ERR_error_string_n(error, buffer, sizeof buffer);
        text += QString::fromLatin1(buffer);
    }
    return text;
}

// OpenSSL's socket writes with write(2), which raises SIGPIPE in a process
// whose peer has gone; this one says MSG_NOSIGNAL, as the plain stream does.
int sendWithoutSignal(BIO *bio, const char *data, int length)
{
    const ssize_t sent = ::send(int(BIO_get_fd(bio, nullptr)), data, size_t(std::max(length, 0)), MSG_NOSIGNAL);
    BIO_clear_retry_flags(bio);
    if (sent <= 0 && BIO_sock_should_retry(int(sent)))
        BIO_set_retry_write(bio);
    return int(sent);
}

BIO_METHOD *socketWithoutSigpipe()
{
    static BIO_METHOD *const method = [] {
        const BIO_METHOD *socket = BIO_s_socket();
        BIO_METHOD *made = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
        BIO_meth_set_write(made, sendWithoutSignal);
        BIO_meth_set_read(made, BIO_meth_get_read(socket));
        BIO_meth_set_puts(made, BIO_meth_get_puts(socket));
        BIO_meth_set_ctrl(made, BIO_meth_get_ctrl(socket));
        BIO_meth_set_create(made, BIO_meth_get_create(socket));
        BIO_meth_set_destroy(made, BIO_meth_get_destroy(socket));
        return made;
    }();
    return method;
}

// The name as the resolver and the certificate know it: an address as it
// is, a name beyond ASCII in its ACE form.
QByteArray lookupName(const QString &host)
{
    const QByteArray literal = host.toLatin1();
    if (isAddressLiteral(literal))
        return literal;
    const QByteArray ace = QUrl::toAce(host);
    return ace.isEmpty() ? host.toUtf8() : ace;
}

bool matchesHost(X509 *certificate, const QByteArray &host)
{
    // Like the verification the operator has known: the common name counts
    // beside the alternative names, and an address may match either.
    constexpr unsigned flags = X509_CHECK_FLAG_ALWAYS_CHECK_SUBJECT | X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS;
    if (isAddressLiteral(host) && X509_check_ip_asc(certificate, host.constData(), 0) == 1)
        return true;
    return X509_check_host(certificate, host.constData(), size_t(host.size()), flags, nullptr) == 1;
}

} // namespace

Transport::Transport(const StopSignal *stop)
    : m_stop(stop)
{
}

Transport::~Transport()
{
    close();
}

Transport::Status Transport::waitFor(Wait wait, Clock::time_point deadline, bool alsoInput)
{
    for (;;) {
        if (m_stop && m_stop->stopRequested())
            return Status::Stopped;
        short events = wait == Wait::Read ? POLLIN : POLLOUT;
        if (alsoInput)
            events |= POLLIN;
        pollfd descriptors[2] = {{m_descriptor, events, 0}, {m_stop ? m_stop->descriptor() : -1, POLLIN, 0}};
        const int ready = ::poll(descriptors, 2, pollTimeout(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            m_error = socketErrorText(errno);
            return Status::Failed;
        }
        if (descriptors[1].revents & POLLIN)
            return Status::Stopped;
        if (ready > 0)
            return alsoInput && (descriptors[0].revents & POLLIN) ? Status::InputWaiting : Status::Ok;
        if (Clock::now() >= deadline)
            return Status::TimedOut;
    }
}

Transport::Status Transport::connect(const QString &host, quint16 port, Clock::time_point deadline)
{
    close();
    m_error.clear();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (::getaddrinfo(lookupName(host).constData(), QByteArray::number(port).constData(), &hints, &found) != 0
        || !found) {
        m_error = QStringLiteral("Host not found");
        return Status::Failed;
    }
    Status status = Status::Failed;
    for (const addrinfo *address = found; address && status != Status::Ok; address = address->ai_next) {
        m_descriptor = ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
        if (m_descriptor < 0) {
            m_error = socketErrorText(errno);
            continue;
        }
        if (::connect(m_descriptor, address->ai_addr, address->ai_addrlen) != 0 && errno != EINPROGRESS) {
            m_error = socketErrorText(errno);
            close();
            continue;
        }
        status = waitFor(Wait::Write, deadline);
        if (status == Status::TimedOut || status == Status::Stopped)
            break;
        int error = 0;
        socklen_t length = sizeof error;
        if (status == Status::Ok && ::getsockopt(m_descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (status == Status::Ok && error != 0) {
            m_error = socketErrorText(error);
            status = Status::Failed;
        }
        if (status != Status::Ok)
            close();
    }
    ::freeaddrinfo(found);
    if (status != Status::Ok) {
        close();
        return status;
    }
    // A group of commands, or a message in pieces, must not wait for the
    // server's delayed acknowledgement of the piece before.
    const int on = 1;
    ::setsockopt(m_descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return Status::Ok;
}

Transport::Status Transport::startTls(const std::shared_ptr<TlsContext> &context, const QString &host, quint16 port,
                                      Clock::time_point deadline)
{
    const QByteArray name = lookupName(host);
    m_tls = context;
    m_tlsState = {name + ':' + QByteArray::number(port), {}};
    m_ssl = SSL_new(context->handle());
    if (!m_ssl) {
        m_error = QStringLiteral("Error during SSL handshake: ") + openSslErrors();
        return Status::Failed;
    }
    BIO *socket = BIO_new(socketWithoutSigpipe());
    BIO_set_fd(socket, m_descriptor, BIO_NOCLOSE);
    SSL_set_bio(m_ssl, socket, socket);
    SSL_set_app_data(m_ssl, &m_tlsState);
    if (!isAddressLiteral(name))
        SSL_set_tlsext_host_name(m_ssl, name.constData());
    if (SSL_SESSION *session = context->takeSession(m_tlsState.server)) {
        SSL_set_session(m_ssl, session);
        SSL_SESSION_free(session);
    }
    ERR_clear_error();
    for (;;) {
        const int result = SSL_connect(m_ssl);
        if (result == 1)
            break;
        const int error = SSL_get_error(m_ssl, result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            return handshakeFailure(error);
        const Status waited = waitFor(error == SSL_ERROR_WANT_READ ? Wait::Read : Wait::Write, deadline);
        if (waited != Status::Ok)
            return waited;
    }
    return refuseUntrustedCertificate(QString::fromLatin1(name));
}

Transport::Status Transport::handshakeFailure(int error)
{
    const unsigned long first = ERR_peek_error();
    const bool ended = error == SSL_ERROR_ZERO_RETURN
        || (error == SSL_ERROR_SYSCALL && (first == 0 || isGone(errno)))
        || ERR_GET_REASON(first) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
    if (ended) {
        ERR_clear_error();
        return Status::Closed;
    }
    m_error = QStringLiteral("Error during SSL handshake: ") + openSslErrors();
    return Status::Failed;
}

Transport::Status Transport::refuseUntrustedCertificate(const QString &host)
{
    X509 *certificate = SSL_get1_peer_certificate(m_ssl);
    if (!certificate) {
        m_error = QStringLiteral("The peer did not present any certificate");
        return Status::Refused;
    }
    const bool mismatch = !matchesHost(certificate, host.toLatin1());
    if (mismatch || !m_tlsState.verifyErrors.empty()) {
        m_error = certificateFailureText(m_tlsState.verifyErrors, mismatch, certificate, host);
        // Never resumed: it was never trusted.
        m_tls->forgetSession(m_tlsState.server);
    }
    X509_free(certificate);
    return m_error.isEmpty() ? Status::Ok : Status::Refused;
}

Transport::Status Transport::tlsFailure(int result, Wait &wait)
{
    const int error = SSL_get_error(m_ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        wait = error == SSL_ERROR_WANT_READ ? Wait::Read : Wait::Write;
        return Status::Ok;
    }
    if (error == SSL_ERROR_ZERO_RETURN || (error == SSL_ERROR_SYSCALL && (ERR_peek_error() == 0 || isGone(errno)))) {
        ERR_clear_error();
        return Status::Closed;
    }
    m_error = openSslErrors();
    if (m_error.isEmpty())
        m_error = socketErrorText(errno);
    return Status::Failed;
}

// One attempt: bytes appended (Ok with something), nothing yet (Ok with
// wait set), or the end.
Transport::Status Transport::receive(QByteArray &into)
{
    const qsizetype before = into.size();
    into.resize(before + readChunkBytes);
    char *room = into.data() + before;
    Status status = Status::Ok;
    qsizetype got = 0;
    if (m_ssl) {
        ERR_clear_error();
        const int result = SSL_read(m_ssl, room, readChunkBytes);
        Wait wait = Wait::Read;
        status = result > 0 ? Status::Ok : tlsFailure(result, wait);
        got = std::max(result, 0);
    } else {
        const ssize_t result = ::recv(m_descriptor, room, readChunkBytes, MSG_DONTWAIT);
        got = std::max<ssize_t>(result, 0);
        if (result == 0 || (result < 0 && isGone(errno)))
            status = Status::Closed;
        else if (result < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            m_error = socketErrorText(errno);
            status = Status::Failed;
        }
    }
    into.resize(before + got);
    if (status == Status::Closed)
        m_peerClosed = true;
    return status;
}

Transport::Status Transport::read(QByteArray &into, Clock::time_point deadline)
{
    if (!m_unread.isEmpty()) {
        into += std::exchange(m_unread, {});
        return Status::Ok;
    }
    if (m_peerClosed || m_descriptor < 0)
        return Status::Closed;
    for (;;) {
        const qsizetype before = into.size();
        const Status status = receive(into);
        if (status != Status::Ok || into.size() > before)
            return status;
        // Inside TLS a record may have to be written first (rarely).
        const bool wantsWrite = m_ssl && SSL_want_write(m_ssl);
        const Status waited = waitFor(wantsWrite ? Wait::Write : Wait::Read, deadline);
        if (waited != Status::Ok)
            return waited;
    }
}

bool Transport::inputWaiting()
{
    if (!m_unread.isEmpty() || m_peerClosed)
        return true;
    if (m_descriptor < 0)
        return false;
    if (m_ssl && SSL_pending(m_ssl) > 0)
        return true;
    pollfd descriptor{m_descriptor, POLLIN, 0};
    if (::poll(&descriptor, 1, 0) <= 0)
        return false;
    if (!m_ssl)
        return true;
    // Inside TLS only the peer's own words count: a session ticket is read
    // and kept by OpenSSL, and leaves nothing.
    const Status status = receive(m_unread);
    return status != Status::Ok || !m_unread.isEmpty();
}

void Transport::dropInputWaiting()
{
    m_unread.clear();
    for (int read = 0; read < dropReadsAtMost && m_descriptor >= 0 && !m_peerClosed; ++read) {
        pollfd descriptor{m_descriptor, POLLIN, 0};
        if (::poll(&descriptor, 1, 0) <= 0)
            return;
        QByteArray dropped;
        if (receive(dropped) != Status::Ok || dropped.isEmpty())
            return;
    }
}

Transport::Status Transport::sendSome(QByteArrayView bytes, qsizetype &sent)
{
    sent = 0;
    if (m_ssl) {
        ERR_clear_error();
        const int result = SSL_write(m_ssl, bytes.data(), int(std::min<qsizetype>(bytes.size(), INT_MAX)));
        if (result > 0) {
            sent = result;
            return Status::Ok;
        }
        Wait wait = Wait::Write;
        return tlsFailure(result, wait);
    }
    const ssize_t result = ::send(m_descriptor, bytes.data(), size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (result >= 0) {
        sent = result;
        return Status::Ok;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return Status::Ok;
    if (isGone(errno))
        return Status::Closed;
    m_error = socketErrorText(errno);
    return Status::Failed;
}

Transport::Status Transport::write(QByteArrayView bytes, std::chrono::milliseconds idleTimeout, bool stopAtInput)
{
    if (m_descriptor < 0)
        return Status::Closed;
    Clock::time_point deadline = Clock::now() + idleTimeout;
    while (!bytes.isEmpty()) {
        qsizetype sent = 0;
        const Status status = sendSome(bytes, sent);
        if (status != Status::Ok)
            return status;
        if (sent > 0) {
            bytes = bytes.sliced(sent);
            deadline = Clock::now() + idleTimeout;
            continue;
        }
        const bool wantsRead = m_ssl && SSL_want_read(m_ssl);
        const Status waited = waitFor(wantsRead ? Wait::Read : Wait::Write, deadline, stopAtInput);
        if (waited == Status::InputWaiting) {
            if (inputWaiting())
                return Status::InputWaiting;
            continue;
        }
        if (waited != Status::Ok)
            return waited;
    }
    return Status::Ok;
}

void Transport::endTls()
{
    if (!m_ssl)
        return;
    // A close_notify if the socket takes it now; nobody waits for the peer's.
    SSL_shutdown(m_ssl);
    SSL_free(m_ssl);
    m_ssl = nullptr;
    ERR_clear_error();
}

void Transport::close()
{
    endTls();
    m_tls.reset();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_unread.clear();
    m_peerClosed = false;
}

} // namespace tramelo
