#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

namespace tramelo::signin {

// What went wrong, by what the operator can do about it.
enum class SignInErrorKind {
    None,
    Configuration, // what was typed cannot work (no client id, a bad tenant, an unsafe URL)
    Browser,       // the browser could not be opened, or never came back
    Denied,        // the person or the provider refused (access_denied)
    Mismatch,      // an answer that does not belong to this sign-in
    SignInAgain,   // the kept grant is gone (invalid_grant, revoked, expired)
    InvalidClient, // the provider does not know the client (invalid_client)
    Provider,      // another error the provider named
    Network,       // no answer at the HTTP level
    TimedOut,
    BadAnswer,     // not JSON, too long, or without what it must hold
    Keyring,       // the system keyring could not keep or give a secret
    NotSignedIn,   // nothing kept for this account
    Cancelled,     // the operator stopped it
};

// A failure with its text for the operator, in Catalan. The texts are built
// only from this library's words, host names and the provider's error code
// and description with every secret sent removed: never a password or token.
struct SignInError
{
    SignInErrorKind kind = SignInErrorKind::None;
    QString text;

    explicit operator bool() const { return kind != SignInErrorKind::None; }
};

// The caller's clock, replaceable so that tests can move time forward.
using Clock = std::function<QDateTime()>;
Clock systemClock();

// What a token endpoint granted.
struct TokenGrant
{
    QByteArray accessToken;
    // By the caller's clock: the time of the request plus "expires_in"; the
    // time of the request itself when the provider did not say.
    QDateTime expiresAt;
    // Empty when the provider granted none (or kept the old one on refresh).
    QByteArray refreshToken;
    // The account signed in as, from the ID token; empty when unknown.
    QString account;
};

// A grant or the reason there is none.
struct GrantOutcome
{
    TokenGrant grant;
    SignInError error;

    bool ok() const { return !error; }
};

} // namespace tramelo::signin
