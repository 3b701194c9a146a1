#include "dkim_signer.h"

#include "address_validation.h"
#include "dkim_canonical.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>

namespace tramelo {
namespace {

constexpr qint64 largestKeyFile = 64 * 1024;
constexpr int smallestRsaBits = 2048;
// A file of the message is read this much at a time.
constexpr qint64 readPiece = 64 * 1024;
constexpr qsizetype foldedLineLength = 78;
constexpr qsizetype txtStringLength = 255;

const char *const signedFields[] = {"from", "to", "cc", "subject", "date", "message-id", "reply-to", "mime-version",
                                    "content-type", "content-transfer-encoding", "list-id", "list-unsubscribe",
                                    "list-unsubscribe-post"};

QString openSslReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = "unknown error";
    if (code != 0)
        ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

// A key protected by a pass phrase is refused: a run has nobody to ask.
int noPassphrase(char *, int, int, void *)
{
    return -1;
}

bool isSelector(const QString &selector)
{
    static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
    const QStringList labels = selector.split(u'.');
    return selector.size() <= 253
        && std::all_of(labels.begin(), labels.end(), [](const QString &l) { return label.match(l).hasMatch(); });
}

// Feeds the bytes of one piece of message data on with the dot-stuffing
// undone: a line that begins with "." got a second one on the wire.
template <typename Take>
void unstuff(QByteArrayView bytes, bool &lineStart, const Take &take)
{
    if (bytes.isEmpty())
        return;
    qsizetype done = lineStart && bytes.front() == '.' ? 1 : 0;
    // memmem: Qt's search for two bytes is many times slower.
    while (const auto *at = static_cast<const char *>(memmem(bytes.data() + done, size_t(bytes.size() - done), "\n.", 2))) {
        take(bytes.sliced(done, at + 1 - (bytes.data() + done)));
        done = at + 2 - bytes.data();
    }
    take(bytes.sliced(done));
    lineStart = bytes.back() == '\n';
}

// The message's header block (its fields, without the empty line after
// them), and its body fed to the hash, as the receiver gets them.
bool readMessage(const MessageData &data, QByteArray &headers, RelaxedBodyHash &body, QString &failure)
{
    bool inBody = false;
    const auto take = [&](QByteArrayView bytes) {
        if (inBody) {
            body.add(bytes);
            return;
        }
        headers += bytes;
        const qsizetype end = headers.indexOf("\r\n\r\n");
        if (end >= 0) {
            body.add(QByteArrayView(headers).sliced(end + 4));
            headers.truncate(end + 2);
            inBody = true;
        }
    };
    for (const DataPiece &piece : data.pieces) {
        bool lineStart = true; // every piece begins a line
        if (!piece.file) {
            unstuff(piece.bytes, lineStart, take);
            continue;
        }
        for (qint64 offset = 0; offset < piece.file->size(); offset += readPiece) {
            QByteArray bytes;
            if (!piece.file->read(offset, readPiece, bytes, failure))
                return false;
            unstuff(bytes, lineStart, take);
        }
    }
    return true;
}

// The fields of a header block, each with its folded lines.
QList<QByteArray> headerFields(const QByteArray &block)
{
    QList<QByteArray> fields;
    for (const QByteArray &line : block.split('\n')) {
        const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
        if (text.isEmpty())
            continue;
        if ((text.front() == ' ' || text.front() == '\t') && !fields.isEmpty())
            fields.back() += "\r\n" + text;
        else
            fields << text;
    }
    return fields;
}

QByteArray nameOf(const QByteArray &field)
{
    return field.left(field.indexOf(':')).trimmed().toLower();
}

// The key of a PEM file, if it can sign: RSA of 2048 bits or more, or
// Ed25519; nothing, with the reason, otherwise.
EVP_PKEY *readPrivateKey(const QString &path, QString &problem)
{
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        problem = QStringLiteral("it does not exist or is not a file");
        return nullptr;
    }
    if (file.size() > largestKeyFile) {
        problem = QStringLiteral("it is larger than 64 KiB");
        return nullptr;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
        return nullptr;
    }
    const QByteArray pem = file.read(largestKeyFile);
    BIO *input = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    EVP_PKEY *key = input ? PEM_read_bio_PrivateKey(input, nullptr, noPassphrase, nullptr) : nullptr;
    BIO_free(input);
    ERR_clear_error();
    const int type = key ? EVP_PKEY_get_base_id(key) : EVP_PKEY_NONE;
    if (!key)
        problem = QStringLiteral("it holds no private key in PEM form readable without a pass phrase");
    else if (type == EVP_PKEY_RSA && EVP_PKEY_get_bits(key) < smallestRsaBits)
        problem = QStringLiteral("its RSA key has %1 bits, and DKIM needs 2048 at least").arg(EVP_PKEY_get_bits(key));
    else if (type != EVP_PKEY_RSA && type != EVP_PKEY_ED25519)
        problem = QStringLiteral("its key is neither RSA nor Ed25519");
    else
        return key;
    EVP_PKEY_free(key);
    return nullptr;
}

// A header field folded where its tokens allow, lines of at most 78.
struct FoldedField {
    QByteArray text;

    void add(QByteArrayView token, bool spaced)
    {
        const qsizetype lineLength = text.size() - (text.lastIndexOf('\n') + 1);
        if (lineLength + (spaced ? 1 : 0) + token.size() > foldedLineLength)
            text += "\r\n\t";
        else if (spaced)
            text += ' ';
        text += token;
    }
};

} // namespace

std::shared_ptr<const DkimSigner> DkimSigner::make(const QString &domain, const QString &selector,
                                                   const QString &privateKeyFile, QString &failure)
{
    if (!isValidDomain(domain) || isIPv4Literal(domain.trimmed())) {
        failure = QStringLiteral("The DKIM domain is not a domain name: %1").arg(domain);
        return nullptr;
    }
    if (!isSelector(selector.trimmed())) {
        failure = QStringLiteral("The DKIM selector is not a DNS name: %1").arg(selector);
        return nullptr;
    }
    QString problem;
    EVP_PKEY *key = readPrivateKey(privateKeyFile, problem);
    if (!key) {
        failure = QStringLiteral("Cannot use the DKIM private key file %1: %2").arg(privateKeyFile, problem);
        return nullptr;
    }
    failure.clear();
    return std::shared_ptr<const DkimSigner>(new DkimSigner(domain.trimmed(), selector.trimmed(), key));
}

DkimSigner::DkimSigner(QString domain, QString selector, EVP_PKEY *key)
    : m_domain(std::move(domain))
    , m_selector(std::move(selector))
    , m_key(key)
    , m_ed25519(EVP_PKEY_get_base_id(key) == EVP_PKEY_ED25519)
{
}

DkimSigner::~DkimSigner()
{
    EVP_PKEY_free(m_key);
}

QString DkimSigner::dnsName() const
{
    return m_selector + QStringLiteral("._domainkey.") + m_domain;
}

QString DkimSigner::dnsRecord() const
{
    QByteArray publicKey;
    if (m_ed25519) {
        size_t length = 32;
        publicKey.resize(qsizetype(length));
        EVP_PKEY_get_raw_public_key(m_key, reinterpret_cast<unsigned char *>(publicKey.data()), &length);
    } else {
        // The SubjectPublicKeyInfo, as receivers read an RSA key.
        publicKey.resize(i2d_PUBKEY(m_key, nullptr));
        auto *at = reinterpret_cast<unsigned char *>(publicKey.data());
        i2d_PUBKEY(m_key, &at);
    }
    return QStringLiteral("v=DKIM1; k=") + (m_ed25519 ? QStringLiteral("ed25519") : QStringLiteral("rsa"))
        + QStringLiteral("; p=") + QString::fromLatin1(publicKey.toBase64());
}

QString DkimSigner::zoneFileLine() const
{
    const QString record = dnsRecord();
    QStringList strings;
    for (qsizetype at = 0; at < record.size(); at += txtStringLength)
        strings << u'"' + record.mid(at, txtStringLength) + u'"';
    return dnsName() + QStringLiteral(". IN TXT ") + strings.join(u' ');
}

bool DkimSigner::sign(MessageData &data, qint64 signingTime, QString &failure) const
{
    QByteArray headerBlock;
    RelaxedBodyHash body;
    if (!readMessage(data, headerBlock, body, failure)) {
        failure = QStringLiteral("The message could not be signed with DKIM: ") + failure;
        return false;
    }
    const QList<QByteArray> fields = headerFields(headerBlock);
    QByteArray canonical;
    QByteArrayList names;
    for (const char *name : signedFields) {
        // Fields of one name are signed from the last up (RFC 6376, 5.4.2).
        bool present = false;
        for (qsizetype i = fields.size() - 1; i >= 0; --i) {
            if (nameOf(fields[i]) == name) {
                canonical += relaxedHeaderField(fields[i]) + "\r\n";
                names << name;
                present = true;
            }
        }
        if (present)
            names << name;
    }

    FoldedField field{"DKIM-Signature:"};
    for (const QByteArray &tag : {QByteArray("v=1;"), "a=" + QByteArray(m_ed25519 ? "ed25519" : "rsa") + "-sha256;",
                                  QByteArray("c=relaxed/relaxed;"), "d=" + m_domain.toLatin1() + ';',
                                  "s=" + m_selector.toLatin1() + ';', "t=" + QByteArray::number(signingTime) + ';'})
        field.add(tag, true);
    for (qsizetype i = 0; i < names.size(); ++i)
        field.add((i == 0 ? "h=" : ":") + names[i] + (i + 1 == names.size() ? ";" : ""), i == 0);
    field.add("bh=" + body.result().toBase64() + ';', true);
    field.add("b=", true);

    const QByteArray signature = signatureOf(canonical + relaxedHeaderField(field.text), failure);
    if (signature.isEmpty())
        return false;
    const QByteArray encoded = signature.toBase64();
    for (qsizetype at = 0; at < encoded.size(); at += 64)
        field.add(encoded.mid(at, 64), false);
    field.text += "\r\n";
    data.pieces.front().bytes.prepend(field.text);
    data.size += field.text.size();
    return true;
}

// RSA signs the header data with SHA-256 (RSASSA-PKCS1-v1_5); Ed25519 signs
// its SHA-256 hash (RFC 8463).
QByteArray DkimSigner::signatureOf(const QByteArray &canonicalHeaders, QString &failure) const
{
    const QByteArray input = m_ed25519 ? QCryptographicHash::hash(canonicalHeaders, QCryptographicHash::Sha256)
                                       : canonicalHeaders;
    const auto *bytes = reinterpret_cast<const unsigned char *>(input.constData());
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    size_t length = 0;
    QByteArray signature;
    bool signedOk = context && EVP_DigestSignInit(context, nullptr, m_ed25519 ? nullptr : EVP_sha256(), nullptr, m_key) == 1
        && EVP_DigestSign(context, nullptr, &length, bytes, size_t(input.size())) == 1;
    if (signedOk) {
        signature.resize(qsizetype(length));
        signedOk = EVP_DigestSign(context, reinterpret_cast<unsigned char *>(signature.data()), &length, bytes,
                                  size_t(input.size())) == 1;
    }
    EVP_MD_CTX_free(context);
    if (!signedOk) {
        failure = QStringLiteral("The message could not be signed with DKIM: ") + openSslReason();
        return {};
    }
    signature.resize(qsizetype(length));
    return signature;
}

} // namespace tramelo
