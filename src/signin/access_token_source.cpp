#include "access_token_source.h"

#include "local_wait.h"
#include "secret_store.h"

#include <QNetworkAccessManager>

#include <memory>

namespace tramelo::signin {

GrantOutcome refreshAccessToken(const OAuthEndpoints &endpoints, const QByteArray &refreshToken, const Clock &clock,
                                std::chrono::milliseconds timeout)
{
    FormFields form = {
        {QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
        {QStringLiteral("refresh_token"), QString::fromUtf8(refreshToken)},
        {QStringLiteral("client_id"), endpoints.clientId},
    };
    if (!endpoints.clientSecret.isEmpty())
        form.append({QStringLiteral("client_secret"), endpoints.clientSecret});
    const QDateTime requestedAt = clock();
    auto outcome = std::make_shared<GrantOutcome>();
    // The network object belongs to this thread and goes with this call; its
    // request ends within the time-out, and the local wait allows a little more.
    QNetworkAccessManager network;
    const bool answered = runLocally(
        [&](const DoneFunction &done) {
            postForm(
                network, endpoints.token, form,
                [outcome, requestedAt, done](const EndpointAnswer &answer) {
                    *outcome = grantOfAnswer(answer, requestedAt);
                    done();
                },
                timeout);
        },
        timeout + std::chrono::seconds(5));
    if (!answered)
        return {{}, {SignInErrorKind::TimedOut, QStringLiteral("El servei d'inici de sessió (%1) no ha respost")
                                                    .arg(endpoints.token.host())}};
    return *outcome;
}

bool isDue(const TokenGrant &grant, const QDateTime &now)
{
    return grant.accessToken.isEmpty() || now.secsTo(grant.expiresAt) < std::chrono::seconds(renewalMargin).count();
}

AccessTokenSource::AccessTokenSource(OAuthEndpoints endpoints, SecretKey refreshKey, SecretStore &store, Clock clock)
    : m_endpoints(std::move(endpoints)), m_refreshKey(std::move(refreshKey)), m_store(store), m_clock(std::move(clock))
{
}

GrantOutcome AccessTokenSource::accessToken(Renewal renewal)
{
    QMutexLocker lock(&m_mutex);
    if (m_current && renewal == Renewal::WhenDue && !isDue(*m_current, m_clock()))
        return {*m_current, {}};
    const FetchOutcome kept = m_store.fetch(m_refreshKey);
    if (kept.error)
        return {{}, kept.error};
    if (!kept.secret || kept.secret->isEmpty())
        return {{}, {SignInErrorKind::NotSignedIn, QStringLiteral("No s'ha iniciat la sessió amb aquest compte: cal "
                                                                  "iniciar la sessió")}};
    GrantOutcome refreshed = refreshAccessToken(m_endpoints, *kept.secret, m_clock);
    if (!refreshed.ok()) {
        m_current.reset();
        return refreshed;
    }
    if (!refreshed.grant.refreshToken.isEmpty() && refreshed.grant.refreshToken != *kept.secret)
        m_store.keep(m_refreshKey, refreshed.grant.refreshToken);
    m_current = refreshed.grant;
    return refreshed;
}

} // namespace tramelo::signin
