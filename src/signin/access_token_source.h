#pragma once

#include "endpoint_request.h"
#include "oauth_provider.h"
#include "secret_key.h"
#include "sign_in_types.h"

#include <QMutex>

#include <chrono>
#include <optional>

namespace tramelo::signin {

class SecretStore;

// An access token is renewed when fewer than this remain by the caller's clock.
inline constexpr std::chrono::minutes renewalMargin{5};

// Exchanges a refresh token for a new access token (RFC 6749 6), blocking
// the calling thread. It needs no event loop of the caller: the request runs
// in a local event loop on this thread, bounded by the time-out (see
// runLocally), so the mail client may call it from its worker thread. On the
// window's thread it would process events other than user input meanwhile:
// call it from a worker there.
GrantOutcome refreshAccessToken(const OAuthEndpoints &endpoints, const QByteArray &refreshToken,
                                const Clock &clock = systemClock(),
                                std::chrono::milliseconds timeout = endpointTimeout);

// Whether an access token should be renewed before a new session.
bool isDue(const TokenGrant &grant, const QDateTime &now);

// Gives the mail client a current access token for one signed-in account,
// from the refresh token kept under `refreshKey` in the store. The token is
// kept between calls and renewed when it is due, or at once when the server
// refused it; a refresh token the provider rotates replaces the old one in
// the store. Blocking and thread-safe, as refreshAccessToken.
class AccessTokenSource
{
public:
    enum class Renewal { WhenDue, Now };

    AccessTokenSource(OAuthEndpoints endpoints, SecretKey refreshKey, SecretStore &store, Clock clock = systemClock());

    GrantOutcome accessToken(Renewal renewal = Renewal::WhenDue);

private:
    OAuthEndpoints m_endpoints;
    SecretKey m_refreshKey;
    SecretStore &m_store;
    Clock m_clock;
    QMutex m_mutex;
    std::optional<TokenGrant> m_current;
};

} // namespace tramelo::signin
