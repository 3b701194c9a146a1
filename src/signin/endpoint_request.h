#pragma once

#include "sign_in_types.h"

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QUrl>

#include <chrono>
#include <functional>

class QNetworkAccessManager;

namespace tramelo::signin {

// How long a token or device endpoint may take to answer one request.
inline constexpr std::chrono::seconds endpointTimeout{30};

// A provider's answer to one form POST: its JSON object; or, when it named
// an OAuth error (RFC 6749 5.2, RFC 8628 3.5), that code with the error for
// the operator; or only the error (network, time-out, not JSON).
struct EndpointAnswer
{
    QJsonObject json;
    QString oauthError;
    SignInError error;
};

// A form's fields, in order.
using FormFields = QList<QPair<QString, QString>>;

// POSTs the form (application/x-www-form-urlencoded, every byte but the
// unreserved ones percent-encoded, so "+" in a secret stays "+") and hands the answer to
// `done` on this thread's event loop. No redirect is followed (the form holds
// secrets), the answer is read up to 64 KiB and the whole exchange is bounded
// by the time-out. The form's secret values (code, code_verifier,
// refresh_token, client_secret, device_code) are removed from whatever the
// provider's description echoes before it reaches a text.
void postForm(QNetworkAccessManager &network, const QUrl &url, const FormFields &form,
              std::function<void(const EndpointAnswer &)> done,
              std::chrono::milliseconds timeout = endpointTimeout);

// A token endpoint's answer (RFC 6749 5.1) read into a grant; `requestedAt`
// is the caller's clock when the request left.
GrantOutcome grantOfAnswer(const EndpointAnswer &answer, const QDateTime &requestedAt);

// The error for the operator of an OAuth error code the provider named, with
// its description and, when it gave one, the finer code ("suberror").
SignInError providerError(const QString &code, const QString &description, const QString &subcode = {});

} // namespace tramelo::signin
