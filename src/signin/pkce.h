#pragma once

#include <QByteArray>

namespace tramelo::signin {

// Proof Key for Code Exchange (RFC 7636) with the S256 method.
struct Pkce
{
    QByteArray verifier;  // 43 characters of base64url, from 32 random bytes
    QByteArray challenge; // BASE64URL(SHA-256(verifier))
};
Pkce makePkce();

// Random bytes from the system's cryptographic source, as base64url without
// padding: for "state" values and verifiers.
QByteArray randomUrlSafeText(int byteCount);

} // namespace tramelo::signin
