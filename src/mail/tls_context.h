#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_session_st SSL_SESSION;

namespace tramelo {

// The TLS set-up of a run, made once and shared by every connection of it:
// one OpenSSL context that trusts the system's authorities and those of an
// extra PEM file (read once), speaks TLS 1.2 or later, and keeps the last
// session each server offered so that the next connection to it resumes
// instead of verifying the certificate chain again.
class TlsContext
{
public:
    // Nothing, with the failure in words (the extra file missing, unreadable,
    // larger than 4 MiB or holding no certificate), when it cannot be made.
    static std::shared_ptr<TlsContext> make(const QString &trustedCertificatesFile, QString &failure);
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;

    SSL_CTX *handle() const { return m_context; }

    // Resumable sessions by server ("host:port"). takeSession gives the
    // caller a reference of its own; keepSession takes the caller's.
    SSL_SESSION *takeSession(const QByteArray &server) const;
    void keepSession(const QByteArray &server, SSL_SESSION *session);
    void forgetSession(const QByteArray &server);

private:
    explicit TlsContext(SSL_CTX *context);

    SSL_CTX *m_context;
    mutable std::mutex m_sessionsLock; // connections of a run may run on several threads
    std::map<QByteArray, SSL_SESSION *> m_sessions;
};

} // namespace tramelo
