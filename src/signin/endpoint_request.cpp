#include "endpoint_request.h"

#include "id_token.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace tramelo::signin {

namespace {

constexpr qint64 largestAnswer = 64 * 1024;
constexpr qsizetype longestDescription = 300;
const char *const secretFields[] = {"code", "code_verifier", "refresh_token", "client_secret", "device_code"};

QString serviceName(const QUrl &url)
{
    return QStringLiteral("el servei d'inici de sessió (%1)").arg(url.host());
}

QString capitalised(const QString &text)
{
    return text.left(1).toUpper() + text.mid(1);
}

QString networkFailure(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("ha refusat la connexió");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("no s'ha trobat el servidor");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("el servidor ha tancat la connexió");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("no s'ha pogut establir la connexió segura (TLS)");
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        return QStringLiteral("no hi ha connexió a la xarxa");
    default:
        break;
    }
    if (error >= QNetworkReply::ProxyConnectionRefusedError && error <= QNetworkReply::ProxyAuthenticationRequiredError)
        return QStringLiteral("el servidor intermediari (proxy) ha fallat");
    return QStringLiteral("error de xarxa %1").arg(int(error));
}

// Only printable text of one line, bounded, without any secret of the form.
QString cleanDescription(QString description, const FormFields &form)
{
    for (const auto &field : form) {
        const bool secret = std::any_of(std::begin(secretFields), std::end(secretFields),
                                        [&field](const char *name) { return field.first == QLatin1String(name); });
        if (secret && !field.second.isEmpty())
            description.replace(field.second, QStringLiteral("…"));
    }
    description = description.section(u'\n', 0, 0).simplified();
    QString printable;
    for (QChar c : description)
        printable += c.isPrint() ? c : u' ';
    return printable.size() > longestDescription ? printable.left(longestDescription) + QStringLiteral("…") : printable;
}

bool isErrorCode(const QString &code)
{
    // RFC 6749 allows %x20-21 / %x23-5B / %x5D-7E; an error code is a word.
    if (code.isEmpty() || code.size() > 64)
        return false;
    for (QChar c : code) {
        if (!(c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.') || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

EndpointAnswer failure(SignInErrorKind kind, const QString &text)
{
    return {{}, {}, {kind, text}};
}

EndpointAnswer answerOf(QNetworkReply *reply, const FormFields &form, bool timedOut, bool tooLong,
                        std::chrono::milliseconds timeout)
{
    const QUrl url = reply->request().url();
    if (timedOut)
        return failure(SignInErrorKind::TimedOut,
                       QStringLiteral("%1 no ha respost en %2 s")
                           .arg(capitalised(serviceName(url)))
                           .arg(std::chrono::duration_cast<std::chrono::seconds>(timeout).count()));
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0)
        return failure(SignInErrorKind::Network, QStringLiteral("No s'ha pogut parlar amb %1: %2")
                                                     .arg(serviceName(url), networkFailure(reply->error())));
    const QString unexpected = QStringLiteral("%1 ha respost amb un format inesperat (HTTP %2)")
                                   .arg(capitalised(serviceName(url)))
                                   .arg(status);
    if (tooLong)
        return failure(SignInErrorKind::BadAnswer, unexpected);
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (!document.isObject())
        return failure(SignInErrorKind::BadAnswer, unexpected);
    const QJsonObject json = document.object();
    const QString code = json.value(QLatin1String("error")).toString();
    if (isErrorCode(code)) {
        const QString description = json.value(QLatin1String("error_description")).toString();
        const QString subcode = json.value(QLatin1String("suberror")).toString();
        return {json, code,
                providerError(code, cleanDescription(description, form), isErrorCode(subcode) ? subcode : QString())};
    }
    if (status < 200 || status > 299)
        return failure(SignInErrorKind::BadAnswer, unexpected);
    return {json, {}, {}};
}

QByteArray encodedForm(const FormFields &form)
{
    QByteArray body;
    for (const auto &[name, value] : form) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

} // namespace

SignInError providerError(const QString &code, const QString &description, const QString &subcode)
{
    // RFC 6749 5.2 and 4.1.2.1, RFC 8628 3.5, and OpenID Connect's codes that
    // providers send from their token endpoints; another code is named as
    // sent. Microsoft refines "invalid_grant" with a "suberror"
    // ("consent_required" when the organisation has not approved the client).
    struct Known
    {
        const char *code;
        SignInErrorKind kind;
        const char *text;
    };
    static const Known known[] = {
        {"invalid_grant", SignInErrorKind::SignInAgain,
         "Cal tornar a iniciar la sessió: el proveïdor ja no accepta l'autorització (invalid_grant)"},
        {"invalid_client", SignInErrorKind::InvalidClient,
         "El proveïdor no accepta aquest client: reviseu l'identificador de client (i el secret de client, si n'hi ha) "
         "(invalid_client)"},
        {"unauthorized_client", SignInErrorKind::InvalidClient,
         "El proveïdor no permet aquesta manera d'iniciar la sessió a aquest client: reviseu com està registrat "
         "(unauthorized_client)"},
        {"access_denied", SignInErrorKind::Denied,
         "S'ha denegat el permís per enviar correu en nom del compte (access_denied)"},
        {"expired_token", SignInErrorKind::TimedOut,
         "El codi ha caducat abans que s'iniciés la sessió (expired_token)"},
        {"invalid_scope", SignInErrorKind::Configuration,
         "El proveïdor no accepta l'abast demanat per a aquest client: reviseu l'abast i els permisos del registre "
         "(invalid_scope)"},
        {"consent_required", SignInErrorKind::SignInAgain,
         "Cal tornar a iniciar la sessió i acceptar els permisos; potser cal que l'administrador de l'organització els "
         "aprovi (consent_required)"},
        {"interaction_required", SignInErrorKind::SignInAgain,
         "Cal tornar a iniciar la sessió al navegador (interaction_required)"},
        {"temporarily_unavailable", SignInErrorKind::Provider,
         "El proveïdor no està disponible ara mateix: torneu-ho a provar més tard (temporarily_unavailable)"},
        {"server_error", SignInErrorKind::Provider,
         "El proveïdor ha tingut un error intern: torneu-ho a provar més tard (server_error)"},
    };
    // A code that is not a word (from a redirect anybody could forge) is not repeated.
    SignInError error{SignInErrorKind::Provider, QStringLiteral("El proveïdor ha refusat la petició (%1)")
                                                     .arg(isErrorCode(code) ? code : QStringLiteral("?"))};
    for (const QString &given : {code, subcode}) {
        for (const Known &entry : known) {
            if (given == QLatin1String(entry.code))
                error = {entry.kind, QString::fromUtf8(entry.text)};
        }
    }
    if (!description.isEmpty())
        error.text += QStringLiteral(". El proveïdor diu: %1").arg(description);
    return error;
}

void postForm(QNetworkAccessManager &network, const QUrl &url, const FormFields &form,
              std::function<void(const EndpointAnswer &)> done, std::chrono::milliseconds timeout)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *reply = network.post(request, encodedForm(form));

    struct Limits
    {
        bool timedOut = false;
        bool tooLong = false;
    };
    auto limits = std::make_shared<Limits>();
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, limits] {
        limits->timedOut = true;
        reply->abort();
    });
    deadline->start(timeout);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, limits](qint64 received, qint64) {
        if (received > largestAnswer) {
            limits->tooLong = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, form, limits, timeout, done = std::move(done)] {
        reply->deleteLater();
        done(answerOf(reply, form, limits->timedOut, limits->tooLong, timeout));
    });
}

GrantOutcome grantOfAnswer(const EndpointAnswer &answer, const QDateTime &requestedAt)
{
    if (answer.error)
        return {{}, answer.error};
    const QJsonObject &json = answer.json;
    const auto badAnswer = [](const QString &text) { return GrantOutcome{{}, {SignInErrorKind::BadAnswer, text}}; };
    TokenGrant grant;
    grant.accessToken = json.value(QLatin1String("access_token")).toString().toUtf8();
    // RFC 6750's b64token: what a Bearer token may hold, and all that may go
    // into the mail server's login line.
    static const QRegularExpression bearerToken(QStringLiteral("^[A-Za-z0-9._~+/-]+=*$"));
    if (!bearerToken.match(QString::fromUtf8(grant.accessToken)).hasMatch())
        return badAnswer(QStringLiteral("La resposta del proveïdor no porta cap testimoni d'accés vàlid"));
    const QString type = json.value(QLatin1String("token_type")).toString();
    if (type.compare(QLatin1String("Bearer"), Qt::CaseInsensitive) != 0)
        return badAnswer(QStringLiteral("El proveïdor ha donat un testimoni d'accés de tipus «%1», que no serveix "
                                        "per enviar correu")
                             .arg(cleanDescription(type, {}).left(40)));
    // Some providers send the lifetime as a text; beyond a day it is not believed.
    const qint64 lifetime = json.value(QLatin1String("expires_in")).toVariant().toLongLong();
    grant.expiresAt = requestedAt.addSecs(std::clamp<qint64>(lifetime, 0, 24 * 3600));
    grant.refreshToken = json.value(QLatin1String("refresh_token")).toString().toUtf8();
    grant.account = accountOfIdToken(json.value(QLatin1String("id_token")).toString().toLatin1());
    return {grant, {}};
}

} // namespace tramelo::signin
