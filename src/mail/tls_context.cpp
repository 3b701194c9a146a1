#include "tls_context.h"

#include "tls_connection_state.h"

#include <QFile>
#include <QFileInfo>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace tramelo {
namespace {

// A company's authorities fit many times over; the whole Mozilla list is
// about 200 KiB.
constexpr qint64 maxTrustedCertificatesBytes = 4 * 1024 * 1024;

// Every failure of the chain is noted and the handshake goes on: the
// connection then refuses the certificate with all its reasons at once.
int noteVerifyError(int ok, X509_STORE_CTX *store)
{
    if (!ok) {
        auto *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        if (auto *state = static_cast<TlsConnectionState *>(SSL_get_app_data(ssl)))
            state->verifyErrors.push_back(X509_STORE_CTX_get_error(store));
    }
    return 1;
}

int keepNewSession(SSL *ssl, SSL_SESSION *session)
{
    auto *context = static_cast<TlsContext *>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    auto *state = static_cast<TlsConnectionState *>(SSL_get_app_data(ssl));
    if (!context || !state)
        return 0;
    context->keepSession(state->server, session);
    return 1; // the reference is ours now
}

// The extra authorities, added to the context's store.
bool addTrustedCertificates(SSL_CTX *context, const QString &path, QString &failure)
{
    failure = QStringLiteral("Cannot use the trusted certificates file %1: ").arg(path);
    if (!QFileInfo(path).isFile()) {
        failure += QStringLiteral("it does not exist or is not a file");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        failure += file.errorString();
        return false;
    }
    const QByteArray pem = file.read(maxTrustedCertificatesBytes + 1);
    if (pem.size() > maxTrustedCertificatesBytes) {
        failure += QStringLiteral("it is larger than 4 MiB");
        return false;
    }
    BIO *input = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    X509_STORE *store = SSL_CTX_get_cert_store(context);
    int added = 0;
    while (X509 *certificate = PEM_read_bio_X509(input, nullptr, nullptr, nullptr)) {
        added += X509_STORE_add_cert(store, certificate) == 1 ? 1 : 0;
        X509_free(certificate);
    }
    BIO_free(input);
    ERR_clear_error(); // the end of the file reads as an error
    if (added == 0) {
        failure += QStringLiteral("it holds no PEM certificate");
        return false;
    }
    failure.clear();
    return true;
}

} // namespace

std::shared_ptr<TlsContext> TlsContext::make(const QString &trustedCertificatesFile, QString &failure)
{
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    if (!context) {
        failure = QStringLiteral("TLS is not available: OpenSSL could not make a context");
        return nullptr;
    }
    std::shared_ptr<TlsContext> made(new TlsContext(context));
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // A server that closes without saying so ends the stream like any other.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, noteVerifyError);
    // Where the system keeps its authorities: looked up by hash when a chain
    // needs one, not all loaded now.
    SSL_CTX_set_default_verify_paths(context);
    if (!trustedCertificatesFile.isEmpty() && !addTrustedCertificates(context, trustedCertificatesFile, failure))
        return nullptr;
    SSL_CTX_set_app_data(context, made.get());
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, keepNewSession);
    return made;
}

TlsContext::TlsContext(SSL_CTX *context)
    : m_context(context)
{
}

TlsContext::~TlsContext()
{
    for (const auto &[server, session] : m_sessions)
        SSL_SESSION_free(session);
    SSL_CTX_free(m_context);
}

SSL_SESSION *TlsContext::takeSession(const QByteArray &server) const
{
    const std::lock_guard lock(m_sessionsLock);
    const auto found = m_sessions.find(server);
    if (found == m_sessions.end())
        return nullptr;
    SSL_SESSION_up_ref(found->second);
    return found->second;
}

void TlsContext::keepSession(const QByteArray &server, SSL_SESSION *session)
{
    const std::lock_guard lock(m_sessionsLock);
    SSL_SESSION *&kept = m_sessions[server];
    if (kept)
        SSL_SESSION_free(kept);
    kept = session;
}

void TlsContext::forgetSession(const QByteArray &server)
{
    const std::lock_guard lock(m_sessionsLock);
    const auto found = m_sessions.find(server);
    if (found == m_sessions.end())
        return;
    SSL_SESSION_free(found->second);
    m_sessions.erase(found);
}

} // namespace tramelo
