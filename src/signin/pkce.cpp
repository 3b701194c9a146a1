#include "pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <vector>

namespace tramelo::signin {

namespace {

constexpr auto urlSafe = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray s256Challenge(const QByteArray &verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(urlSafe);
}

} // namespace

QByteArray randomUrlSafeText(int byteCount)
{
    // QRandomGenerator::system() reads the operating system's secure source.
    std::vector<quint32> words((byteCount + 3) / 4);
    QRandomGenerator::system()->generate(words.begin(), words.end());
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), byteCount);
    return bytes.toBase64(urlSafe);
}

Pkce makePkce()
{
    Pkce pkce;
    pkce.verifier = randomUrlSafeText(32);
    pkce.challenge = s256Challenge(pkce.verifier);
    return pkce;
}

} // namespace tramelo::signin
