#include "certificate_failure.h"

#include <QDateTime>
#include <QStringList>

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

namespace tramelo {
namespace {

QString dateText(const ASN1_TIME *time)
{
    std::tm moment{};
    if (!time || ASN1_TIME_to_tm(time, &moment) != 1)
        return QString();
    const QDateTime utc(QDate(moment.tm_year + 1900, moment.tm_mon + 1, moment.tm_mday),
                        QTime(moment.tm_hour, moment.tm_min, moment.tm_sec), Qt::UTC);
    return utc.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss 'UTC'"));
}

QString entryText(X509_NAME *name, int nid)
{
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0)
        return QString();
    const ASN1_STRING *data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
    unsigned char *utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, data);
    if (length < 0)
        return QString();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(utf8), length);
    OPENSSL_free(utf8);
    return text;
}

// A name's common name, else its organisation, else its unit.
QString displayName(X509_NAME *name)
{
    for (const int nid : {NID_commonName, NID_organizationName, NID_organizationalUnitName}) {
        const QString text = entryText(name, nid);
        if (!text.isEmpty())
            return text;
    }
    return QString();
}

QString addressText(const ASN1_OCTET_STRING *address)
{
    const unsigned char *bytes = ASN1_STRING_get0_data(address);
    const int length = ASN1_STRING_length(address);
    if (length == 4)
        return QStringLiteral("%1.%2.%3.%4").arg(bytes[0]).arg(bytes[1]).arg(bytes[2]).arg(bytes[3]);
    QStringList groups;
    for (int i = 0; i + 1 < length; i += 2)
        groups << QString::number(bytes[i] << 8 | bytes[i + 1], 16);
    return groups.join(u':');
}

// The names a certificate was issued for: its alternative names (host
// names first, then addresses), or its common name when it has none.
QString issuedNames(X509 *certificate)
{
    QStringList hosts;
    QStringList addresses;
    using Names = std::unique_ptr<GENERAL_NAMES, decltype(&GENERAL_NAMES_free)>;
    const Names names(static_cast<GENERAL_NAMES *>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr)),
                      &GENERAL_NAMES_free);
    for (int i = 0; names && i < sk_GENERAL_NAME_num(names.get()); ++i) {
        const GENERAL_NAME *name = sk_GENERAL_NAME_value(names.get(), i);
        if (name->type == GEN_DNS) {
            const ASN1_STRING *text = name->d.dNSName;
            hosts << QString::fromLatin1(reinterpret_cast<const char *>(ASN1_STRING_get0_data(text)),
                                         ASN1_STRING_length(text));
        } else if (name->type == GEN_IPADD) {
            addresses << addressText(name->d.iPAddress);
        }
    }
    QStringList all = hosts + addresses;
    if (all.isEmpty()) {
        const QString common = entryText(X509_get_subject_name(certificate), NID_commonName);
        if (!common.isEmpty())
            all << common;
    }
    return all.isEmpty() ? QStringLiteral("no name") : all.join(QStringLiteral(", "));
}

QString fingerprint(X509 *certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1)
        return QString();
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex(':').toUpper());
}

} // namespace

QString certificateFailureReason(int verifyError, X509 *certificate)
{
    switch (verifyError) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("it expired on %1").arg(dateText(X509_get0_notAfter(certificate)));
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("it is not valid before %1").arg(dateText(X509_get0_notBefore(certificate)));
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return QStringLiteral("it is self-signed, not issued by a trusted authority");
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
        return QStringLiteral("it was issued by an unknown or untrusted authority");
    case X509_V_ERR_CERT_REVOKED:
        return QStringLiteral("it has been revoked");
    // The rest as the operator has read them so far.
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
        return QStringLiteral("The certificate signature could not be decrypted");
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
        return QStringLiteral("The public key in the certificate could not be read");
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return QStringLiteral("The signature of the certificate is invalid");
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
        return QStringLiteral("The certificate's notBefore field contains an invalid time");
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return QStringLiteral("The certificate's notAfter field contains an invalid time");
    case X509_V_ERR_INVALID_CA:
        return QStringLiteral("One of the CA certificates is invalid");
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
        return QStringLiteral("The basicConstraints path length parameter has been exceeded");
    case X509_V_ERR_INVALID_PURPOSE:
        return QStringLiteral("The supplied certificate is unsuitable for this purpose");
    default:
        return QStringLiteral("Unknown error");
    }
}

QString certificateFailureText(const std::vector<int> &verifyErrors, bool hostNameMismatch, X509 *certificate,
                               const QString &host)
{
    QStringList reasons;
    if (hostNameMismatch)
        reasons << QStringLiteral("it was issued for %1, not for %2").arg(issuedNames(certificate), host);
    for (const int error : verifyErrors) {
        const QString reason = certificateFailureReason(error, certificate);
        if (!reasons.contains(reason))
            reasons << reason;
    }
    return QStringLiteral("The certificate of the SMTP Host %1 is not trusted: %2. Certificate subject: %3; "
                          "issuer: %4; valid from %5 to %6; SHA-256 fingerprint: %7")
        .arg(host, reasons.join(QStringLiteral("; ")), displayName(X509_get_subject_name(certificate)),
             displayName(X509_get_issuer_name(certificate)), dateText(X509_get0_notBefore(certificate)),
             dateText(X509_get0_notAfter(certificate)), fingerprint(certificate));
}

} // namespace tramelo
