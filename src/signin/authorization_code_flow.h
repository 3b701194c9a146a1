#pragma once

#include "loopback_listener.h"
#include "oauth_provider.h"
#include "pkce.h"
#include "sign_in_types.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

namespace tramelo::signin {

// Opens the authorisation URL in a browser; false when none could be opened.
// The window passes QDesktopServices::openUrl; tests pass a function that
// fetches the URL and follows the redirect.
using BrowserLauncher = std::function<bool(const QUrl &url)>;

// How long the person has to sign in in the browser.
inline constexpr std::chrono::minutes browserSignInTimeout{5};

// Signs in with the authorisation code as RFC 8252 describes for a desktop
// program: the system browser, the redirect caught on 127.0.0.1 (see
// LoopbackListener), PKCE with S256 (RFC 7636) and a random "state" checked
// on the way back, then the code exchanged at the token endpoint. Runs on the
// event loop of the thread that owns it and says `finished` exactly once.
class AuthorizationCodeFlow : public QObject
{
    Q_OBJECT

public:
    AuthorizationCodeFlow(OAuthEndpoints endpoints, BrowserLauncher browser, Clock clock = systemClock(),
                          QObject *parent = nullptr);

    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    void start();
    // The URL given to the browser, for a caller that also prints it.
    QUrl authorizationUrl() const { return m_authorizationUrl; }

signals:
    void finished(const tramelo::signin::GrantOutcome &outcome);

private:
    void redirected(const QUrlQuery &query);
    void finish(const GrantOutcome &outcome);
    void fail(SignInErrorKind kind, const QString &text);

    OAuthEndpoints m_endpoints;
    BrowserLauncher m_browser;
    Clock m_clock;
    std::chrono::milliseconds m_timeout = browserSignInTimeout;
    Pkce m_pkce;
    QByteArray m_state;
    QUrl m_authorizationUrl;
    bool m_finished = false;
    LoopbackListener m_listener;
    QTimer m_deadline;
    // Last, so that its pending replies go before anything they use.
    QNetworkAccessManager m_network;
};

} // namespace tramelo::signin
