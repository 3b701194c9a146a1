#pragma once

#include "secret_key.h"
#include "sign_in_types.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class QObject;

namespace tramelo::signin {

// Where a kept secret went.
enum class SecretPlace { Keyring, SessionOnly };

struct KeepOutcome
{
    SecretPlace place = SecretPlace::Keyring;
    // Why the keyring did not take it, in Catalan; empty in the keyring.
    QString reason;
};

struct FetchOutcome
{
    std::optional<QByteArray> secret;
    // Set only when the keyring could not be asked; a secret that is simply
    // not there is no error.
    SignInError error;
};

// How long the keyring may take, a person unlocking it included.
inline constexpr std::chrono::seconds keyringTimeout{60};

// Keeps passwords and refresh tokens in the system keyring through QtKeychain
// (Secret Service or KWallet). Without a keyring, or when it refuses, the
// secret is kept in this object's memory for the session only and the reason
// is given; nothing is ever written in clear to disk (QtKeychain's plain-text
// fallback stays off).
//
// The blocking calls hold the calling thread until the keyring answered or
// the time-out passed. The keyring's work runs on a thread of its own (see
// runOnKeyringThread), so any thread may call, a worker with no event loop
// included, and the caller's thread processes no events meanwhile. The
// window, which must not freeze while the keyring asks the person to unlock
// it, uses the calls that answer later: they run the blocking ones on a
// worker and hand the outcome to `done` on the main thread, unless `context`
// is gone by then. The store must outlive them.
class SecretStore
{
public:
    explicit SecretStore(std::chrono::milliseconds timeout = keyringTimeout) : m_timeout(timeout) {}

    KeepOutcome keep(const SecretKey &key, const QByteArray &secret);
    FetchOutcome fetch(const SecretKey &key);
    void keep(const SecretKey &key, const QByteArray &secret, QObject *context,
              std::function<void(const KeepOutcome &)> done);
    void fetch(const SecretKey &key, QObject *context, std::function<void(const FetchOutcome &)> done);
    // Removes the secret from the keyring and from this session.
    SignInError forget(const SecretKey &key);

private:
    void keepForSession(const SecretKey &key, const QByteArray &secret);
    void dropFromSession(const SecretKey &key);

    std::chrono::milliseconds m_timeout;
    QMutex m_mutex;
    QHash<QString, QByteArray> m_sessionOnly;
};

} // namespace tramelo::signin
