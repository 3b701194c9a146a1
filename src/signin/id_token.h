#pragma once

#include <QByteArray>
#include <QString>

namespace tramelo::signin {

// The account an OpenID Connect ID token names: "preferred_username"
// (Microsoft's sign-in name), else "email" (Google); empty when it holds
// neither or is not a JWT. The signature is not checked: the token comes
// straight from the token endpoint over TLS, which OpenID Connect Core 1.0
// (3.1.3.7) accepts in its place, and the name is only shown and used as
// the login, never trusted for access.
QString accountOfIdToken(const QByteArray &idToken);

} // namespace tramelo::signin
