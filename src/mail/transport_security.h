#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

namespace tramelo {

// How a session protects what it sends. None is the plain dialogue; StartTls
// turns the connection into TLS with STARTTLS after the first EHLO (the
// submission port, 587); ImplicitTls shakes hands as soon as the connection
// is made (SMTP over TLS, port 465).
enum class SecurityMode { None, StartTls, ImplicitTls };

// The authorities a PEM file adds to the system's: none for an empty path;
// otherwise the file's certificates, or why there are none to add (a file
// that cannot be read or holds no certificate is a failure, never an empty
// list that would quietly trust the system's authorities alone).
struct TrustedCertificatesReading
{
    QList<QSslCertificate> certificates;
    QString failure;
};
TrustedCertificatesReading readTrustedCertificates(const QString &path);

// The configuration every TLS session starts from: TLS 1.2 or later, the
// server's certificate verified against the system's authorities and the
// extra ones, and the session kept so that the next connection can resume it.
QSslConfiguration clientTlsConfiguration(const QList<QSslCertificate> &extraAuthorities);

// Why the server's certificate was refused, in the operator's terms (an
// unknown authority, expired, issued for another name, self-signed), with
// the certificate's subject, issuer and SHA-256 fingerprint.
QString certificateFailureText(const QList<QSslError> &errors, const QSslCertificate &certificate,
                               const QString &host);

} // namespace tramelo
