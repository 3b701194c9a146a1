#pragma once

#include "oauth_provider.h"
#include "sign_in_types.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>

namespace tramelo::signin {

struct EndpointAnswer;

// Signs in on another device (RFC 8628), for a terminal where no browser can
// be opened: asks the provider's device endpoint for a code, hands the URL
// and the code to the caller to show, then polls the token endpoint at the
// interval the provider asks (5 s more after each "slow_down") until the
// person has signed in, refused, or the code expired. The provider's expiry
// is believed up to 30 minutes and its interval from 1 to 60 s, so every wait
// is bounded. Runs on the event loop of the thread that owns it and says
// `finished` exactly once.
class DeviceCodeFlow : public QObject
{
    Q_OBJECT

public:
    DeviceCodeFlow(OAuthEndpoints endpoints, Clock clock = systemClock(), QObject *parent = nullptr);

    void start();

signals:
    // What the person must open, and the code to type there.
    void userCodeReady(const QUrl &verificationUri, const QString &userCode);
    void finished(const tramelo::signin::GrantOutcome &outcome);

private:
    void codeGiven(const EndpointAnswer &answer);
    void poll();
    void polled(const EndpointAnswer &answer, const QDateTime &requestedAt);
    void finish(const GrantOutcome &outcome);
    void fail(SignInErrorKind kind, const QString &text);

    OAuthEndpoints m_endpoints;
    Clock m_clock;
    QString m_deviceCode;
    std::chrono::seconds m_interval{5};
    QDeadlineTimer m_expiry;
    QTimer m_pollTimer;
    bool m_finished = false;
    // Last, so that its pending replies go before anything they use.
    QNetworkAccessManager m_network;
};

} // namespace tramelo::signin
