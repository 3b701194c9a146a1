#include "device_code_flow.h"

#include "endpoint_request.h"

#include <algorithm>

namespace tramelo::signin {

namespace {

constexpr std::chrono::seconds defaultInterval{5};
constexpr std::chrono::seconds slowDownStep{5};
constexpr std::chrono::seconds shortestInterval{1};
constexpr std::chrono::seconds longestInterval{60};
constexpr std::chrono::seconds longestExpiry{30 * 60};
constexpr qsizetype longestUserCode = 64;

std::chrono::seconds secondsOf(const QJsonValue &value, std::chrono::seconds fallback)
{
    const qint64 seconds = value.toVariant().toLongLong();
    return seconds > 0 ? std::chrono::seconds(seconds) : fallback;
}

bool isShowableCode(const QString &code)
{
    return !code.isEmpty() && code.size() <= longestUserCode
           && std::all_of(code.begin(), code.end(), [](QChar c) { return c.isPrint() && c.unicode() < 0x7f; });
}

} // namespace

DeviceCodeFlow::DeviceCodeFlow(OAuthEndpoints endpoints, Clock clock, QObject *parent)
    : QObject(parent), m_endpoints(std::move(endpoints)), m_clock(std::move(clock))
{
    m_pollTimer.setSingleShot(true);
    connect(&m_pollTimer, &QTimer::timeout, this, &DeviceCodeFlow::poll);
}

void DeviceCodeFlow::start()
{
    if (m_endpoints.deviceAuthorization.isEmpty()) {
        fail(SignInErrorKind::Configuration,
             QStringLiteral("Aquest proveïdor no ofereix l'inici de sessió amb un codi des d'un altre dispositiu: "
                            "inicieu la sessió des de la finestra de Tramelo"));
        return;
    }
    const FormFields form = {
        {QStringLiteral("client_id"), m_endpoints.clientId},
        {QStringLiteral("scope"), m_endpoints.scope},
    };
    postForm(m_network, m_endpoints.deviceAuthorization, form,
             [this](const EndpointAnswer &answer) { codeGiven(answer); });
}

void DeviceCodeFlow::codeGiven(const EndpointAnswer &answer)
{
    if (answer.error) {
        finish({{}, answer.error});
        return;
    }
    m_deviceCode = answer.json.value(QLatin1String("device_code")).toString();
    const QString userCode = answer.json.value(QLatin1String("user_code")).toString();
    // RFC 8628 names it verification_uri; Google's older answers verification_url.
    QUrl verification(answer.json.value(QLatin1String("verification_uri")).toString());
    if (verification.isEmpty())
        verification = QUrl(answer.json.value(QLatin1String("verification_url")).toString());
    if (m_deviceCode.isEmpty() || !isShowableCode(userCode) || !isSafeEndpoint(verification)) {
        fail(SignInErrorKind::BadAnswer,
             QStringLiteral("La resposta del proveïdor no porta un codi i una adreça per iniciar la sessió"));
        return;
    }
    m_interval = std::clamp(secondsOf(answer.json.value(QLatin1String("interval")), defaultInterval),
                            shortestInterval, longestInterval);
    const auto expiry =
        std::min(secondsOf(answer.json.value(QLatin1String("expires_in")), longestExpiry), longestExpiry);
    m_expiry.setRemainingTime(expiry);
    emit userCodeReady(verification, userCode);
    m_pollTimer.start(m_interval);
}

void DeviceCodeFlow::poll()
{
    if (m_expiry.hasExpired()) {
        fail(SignInErrorKind::TimedOut, QStringLiteral("El codi ha caducat abans que s'iniciés la sessió"));
        return;
    }
    const FormFields form = {
        {QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")},
        {QStringLiteral("device_code"), m_deviceCode},
        {QStringLiteral("client_id"), m_endpoints.clientId},
    };
    const QDateTime requestedAt = m_clock();
    postForm(m_network, m_endpoints.token, form,
             [this, requestedAt](const EndpointAnswer &answer) { polled(answer, requestedAt); });
}

void DeviceCodeFlow::polled(const EndpointAnswer &answer, const QDateTime &requestedAt)
{
    if (answer.oauthError == QLatin1String("slow_down"))
        m_interval = std::min(m_interval + slowDownStep, longestInterval);
    if (answer.oauthError == QLatin1String("authorization_pending")
        || answer.oauthError == QLatin1String("slow_down")) {
        m_pollTimer.start(m_interval);
        return;
    }
    finish(grantOfAnswer(answer, requestedAt));
}

void DeviceCodeFlow::fail(SignInErrorKind kind, const QString &text)
{
    finish({{}, {kind, text}});
}

void DeviceCodeFlow::finish(const GrantOutcome &outcome)
{
    if (m_finished)
        return;
    m_finished = true;
    m_pollTimer.stop();
    emit finished(outcome);
}

} // namespace tramelo::signin
