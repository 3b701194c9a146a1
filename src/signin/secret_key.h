#pragma once

#include "oauth_provider.h"

#include <QString>

namespace tramelo::signin {

// The name a secret is kept under in the system keyring (service "Tramelo"):
// what it is, the SMTP server (host and port as typed, host in lower case)
// and the login user, so that two campaigns on the same account share it.
struct SecretKey
{
    QString text;

    bool operator==(const SecretKey &) const = default;
};

// The login password of a user on an SMTP server.
SecretKey passwordKey(const QString &server, const QString &user);
// The refresh token a provider granted to a user for an SMTP server.
SecretKey refreshTokenKey(OAuthProvider provider, const QString &server, const QString &user);

} // namespace tramelo::signin
