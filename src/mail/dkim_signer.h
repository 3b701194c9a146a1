#pragma once

#include "composed_message.h"

#include <QString>

#include <memory>

typedef struct evp_pkey_st EVP_PKEY;

namespace tramelo {

// DKIM signatures (RFC 6376, and RFC 8463 for Ed25519) for the messages of
// a run, with one private key read once. Signatures are relaxed/relaxed and
// cover the body as it goes on the wire and these header fields where the
// message has them: From, To, Cc, Subject, Date, Message-ID, Reply-To,
// MIME-Version, Content-Type, Content-Transfer-Encoding, List-Id,
// List-Unsubscribe and List-Unsubscribe-Post. Each is named once more than it occurs, so that a
// second one added on the way breaks the signature instead of being shown.
class DkimSigner
{
public:
    // Nothing, with the failure in words, when the domain or the selector is
    // not a DNS name, or the file (at most 64 KiB) holds no private key in
    // PEM that is RSA of 2048 bits or more, or Ed25519, readable without a
    // pass phrase.
    static std::shared_ptr<const DkimSigner> make(const QString &domain, const QString &selector,
                                                  const QString &privateKeyFile, QString &failure);
    ~DkimSigner();
    DkimSigner(const DkimSigner &) = delete;
    DkimSigner &operator=(const DkimSigner &) = delete;

    // Where receivers look for the public key ("selector._domainkey.domain")
    // and the TXT record to publish there ("v=DKIM1; k=rsa; p=...").
    QString dnsName() const;
    QString dnsRecord() const;
    // The same as a zone file's line, the record cut into strings of at most
    // 255 characters, as DNS needs.
    QString zoneFileLine() const;

    // Puts a DKIM-Signature field, folded, first in the message data (which
    // is as it goes on the wire: dot-stuffed, and its size grows by the
    // field's). The time is the signature's, in seconds since 1970. False,
    // with the failure in words, when a file of the message cannot be read.
    bool sign(MessageData &data, qint64 signingTime, QString &failure) const;

private:
    DkimSigner(QString domain, QString selector, EVP_PKEY *key);
    QByteArray signatureOf(const QByteArray &canonicalHeaders, QString &failure) const;

    QString m_domain;
    QString m_selector;
    EVP_PKEY *m_key;
    bool m_ed25519;
};

} // namespace tramelo
