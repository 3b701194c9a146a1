#include "transport_security.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSsl>
#include <QSslSocket>
#include <QStringList>

namespace tramelo {
namespace {

// A company's authorities fit many times over; the whole Mozilla list is
// about 200 KiB.
constexpr qint64 maxTrustedCertificatesBytes = 4 * 1024 * 1024;

QString dateText(const QDateTime &moment)
{
    return moment.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss 'UTC'"));
}

// The names a certificate was issued for: its alternative names, or its
// common name when it has none.
QString issuedNames(const QSslCertificate &certificate)
{
    QStringList names;
    const auto alternatives = certificate.subjectAlternativeNames();
    for (auto it = alternatives.cbegin(); it != alternatives.cend(); ++it) {
        if (it.key() == QSsl::DnsEntry || it.key() == QSsl::IpAddressEntry)
            names << it.value();
    }
    if (names.isEmpty())
        names = certificate.subjectInfo(QSslCertificate::CommonName);
    return names.isEmpty() ? QStringLiteral("no name") : names.join(QStringLiteral(", "));
}

QString reasonOf(const QSslError &error, const QSslCertificate &certificate, const QString &host)
{
    switch (error.error()) {
    case QSslError::HostNameMismatch:
        return QStringLiteral("it was issued for %1, not for %2").arg(issuedNames(certificate), host);
    case QSslError::CertificateExpired:
        return QStringLiteral("it expired on %1").arg(dateText(certificate.expiryDate()));
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("it is not valid before %1").arg(dateText(certificate.effectiveDate()));
    case QSslError::SelfSignedCertificate:
        return QStringLiteral("it is self-signed, not issued by a trusted authority");
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateRejected:
        return QStringLiteral("it was issued by an unknown or untrusted authority");
    case QSslError::CertificateRevoked:
        return QStringLiteral("it has been revoked");
    default:
        return error.errorString();
    }
}

QList<QSslCertificate> withoutRepeats(const QList<QSslCertificate> &certificates)
{
    QList<QSslCertificate> distinct;
    QSet<QSslCertificate> seen;
    for (const QSslCertificate &certificate : certificates) {
        if (!seen.contains(certificate)) {
            seen.insert(certificate);
            distinct << certificate;
        }
    }
    return distinct;
}

} // namespace

TrustedCertificatesReading readTrustedCertificates(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QString failure = QStringLiteral("Cannot use the trusted certificates file %1: ").arg(path);
    if (!QFileInfo(path).isFile())
        return {{}, failure + QStringLiteral("it does not exist or is not a file")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, failure + file.errorString()};
    const QByteArray pem = file.read(maxTrustedCertificatesBytes + 1);
    if (pem.size() > maxTrustedCertificatesBytes)
        return {{}, failure + QStringLiteral("it is larger than 4 MiB")};
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (certificates.isEmpty())
        return {{}, failure + QStringLiteral("it holds no PEM certificate")};
    return {certificates, {}};
}

QSslConfiguration clientTlsConfiguration(const QList<QSslCertificate> &extraAuthorities)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // Setting authorities replaces the system's, so they are named too. Qt
    // reads each system authority twice (its file and its hash link), and
    // every connection loads the whole list into a new OpenSSL store, at a
    // cost that grows faster than the list: each is given once.
    if (!extraAuthorities.isEmpty())
        configuration.setCaCertificates(withoutRepeats(QSslConfiguration::systemCaCertificates() + extraAuthorities));
    // A resumed session skips the certificate exchange and its checks on
    // both sides: most of the cost of a connection per message.
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    return configuration;
}

QString certificateFailureText(const QList<QSslError> &errors, const QSslCertificate &certificate,
                               const QString &host)
{
    QStringList reasons;
    for (const QSslError &error : errors) {
        const QString reason = reasonOf(error, certificate, host);
        if (!reasons.contains(reason))
            reasons << reason;
    }
    const QString fingerprint =
        QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    return QStringLiteral("The certificate of the SMTP Host %1 is not trusted: %2. Certificate subject: %3; "
                          "issuer: %4; valid from %5 to %6; SHA-256 fingerprint: %7")
        .arg(host, reasons.join(QStringLiteral("; ")), certificate.subjectDisplayName(),
             certificate.issuerDisplayName(), dateText(certificate.effectiveDate()),
             dateText(certificate.expiryDate()), fingerprint);
}

} // namespace tramelo
