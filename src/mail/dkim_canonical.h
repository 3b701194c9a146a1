#pragma once

#include <QByteArray>
#include <QByteArrayView>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace tramelo {

// DKIM's "relaxed" canonicalisation (RFC 6376, 3.4.2 and 3.4.4), which
// survives the changes of blanks and folding that relays make.

// One header field as it is in the message (folded, without its final
// CR LF) as it is signed: the name in lower case, ":", the value unfolded
// with every run of blanks made one space and none at its ends.
QByteArray relaxedHeaderField(QByteArrayView field);

// The SHA-256 of a message body as it is signed, fed in pieces cut
// anywhere: every run of blanks within a line made one space, blanks at the
// end of each line dropped, and the empty lines at the end of the body
// dropped; a body that is not empty then ends with one CR LF.
class RelaxedBodyHash
{
public:
    // OpenSSL's SHA-256, several times quicker than Qt's on a large
    // attachment, which every signed message hashes again.
    RelaxedBodyHash();
    ~RelaxedBodyHash();
    RelaxedBodyHash(const RelaxedBodyHash &) = delete;
    RelaxedBodyHash &operator=(const RelaxedBodyHash &) = delete;

    void add(QByteArrayView bytes);
    QByteArray result();

private:
    void addLine(QByteArrayView line);
    void hash(QByteArrayView bytes);

    EVP_MD_CTX *m_context;
    QByteArray m_partialLine;
    qsizetype m_emptyLines = 0;
};

} // namespace tramelo
