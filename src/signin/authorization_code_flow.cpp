#include "authorization_code_flow.h"

#include "endpoint_request.h"

namespace tramelo::signin {

AuthorizationCodeFlow::AuthorizationCodeFlow(OAuthEndpoints endpoints, BrowserLauncher browser, Clock clock,
                                             QObject *parent)
    : QObject(parent), m_endpoints(std::move(endpoints)), m_browser(std::move(browser)), m_clock(std::move(clock))
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        fail(SignInErrorKind::Browser,
             QStringLiteral("El navegador no ha tornat la resposta del proveïdor en %1 minuts: torneu a iniciar la "
                            "sessió")
                 .arg(std::chrono::duration_cast<std::chrono::minutes>(m_timeout).count()));
    });
    connect(&m_listener, &LoopbackListener::redirected, this, &AuthorizationCodeFlow::redirected);
}

void AuthorizationCodeFlow::start()
{
    if (!m_listener.listen()) {
        fail(SignInErrorKind::Browser, m_listener.errorText());
        return;
    }
    m_pkce = makePkce();
    m_state = randomUrlSafeText(24);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    query.addQueryItem(QStringLiteral("client_id"), m_endpoints.clientId);
    query.addQueryItem(QStringLiteral("redirect_uri"), m_listener.redirectUri());
    query.addQueryItem(QStringLiteral("scope"), m_endpoints.scope);
    query.addQueryItem(QStringLiteral("state"), QString::fromLatin1(m_state));
    query.addQueryItem(QStringLiteral("code_challenge"), QString::fromLatin1(m_pkce.challenge));
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    for (const auto &[name, value] : m_endpoints.extraAuthorizationQuery)
        query.addQueryItem(name, value);
    m_authorizationUrl = m_endpoints.authorization;
    m_authorizationUrl.setQuery(query);
    m_deadline.start(m_timeout);
    if (!m_browser(m_authorizationUrl))
        fail(SignInErrorKind::Browser,
             QStringLiteral("No s'ha pogut obrir el navegador del sistema per iniciar la sessió"));
}

void AuthorizationCodeFlow::redirected(const QUrlQuery &query)
{
    const auto value = [&query](const char *name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    if (value("state") != QString::fromLatin1(m_state)) {
        fail(SignInErrorKind::Mismatch, QStringLiteral("La resposta rebuda del navegador no correspon a aquest inici "
                                                       "de sessió: torneu-ho a provar"));
        return;
    }
    if (!value("error").isEmpty()) {
        finish({{}, providerError(value("error"), {})});
        return;
    }
    const QString code = value("code");
    if (code.isEmpty()) {
        fail(SignInErrorKind::BadAnswer, QStringLiteral("La resposta del proveïdor no porta cap codi d'autorització"));
        return;
    }
    FormFields form = {
        {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
        {QStringLiteral("code"), code},
        {QStringLiteral("redirect_uri"), m_listener.redirectUri()},
        {QStringLiteral("client_id"), m_endpoints.clientId},
        {QStringLiteral("code_verifier"), QString::fromLatin1(m_pkce.verifier)},
    };
    if (!m_endpoints.clientSecret.isEmpty())
        form.append({QStringLiteral("client_secret"), m_endpoints.clientSecret});
    const QDateTime requestedAt = m_clock();
    postForm(m_network, m_endpoints.token, form, [this, requestedAt](const EndpointAnswer &answer) {
        finish(grantOfAnswer(answer, requestedAt));
    });
}

void AuthorizationCodeFlow::fail(SignInErrorKind kind, const QString &text)
{
    finish({{}, {kind, text}});
}

void AuthorizationCodeFlow::finish(const GrantOutcome &outcome)
{
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    m_listener.close();
    emit finished(outcome);
}

} // namespace tramelo::signin
