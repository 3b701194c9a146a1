#pragma once

#include "authorization_code_flow.h"
#include "device_code_flow.h"
#include "oauth_provider.h"
#include "secret_store.h"

#include <QObject>

#include <memory>

namespace tramelo::signin {

// Who signs in where, for which SMTP server.
struct SignInRequest
{
    OAuthProvider provider = OAuthProvider::Microsoft365;
    OAuthEndpoints endpoints; // from resolveEndpoints
    QString server;           // the SMTP server as typed
    QString user;             // the login user; when empty, the account signed in as (which must be known)
    std::chrono::milliseconds browserTimeout = browserSignInTimeout;
};

struct SignInResult
{
    SignInError error;
    QString account;  // signed in as; empty when the provider did not say
    SecretKey key;    // where the refresh token is kept
    KeepOutcome kept; // in the keyring, or for this session only and why
    TokenGrant grant; // the first access token, good for a send right away
};

// One sign-in as the window and `tramelo-run --inicia-sessio` make it: the
// browser flow; or, when no browser can be opened and the provider offers
// it, the device-code flow; then the refresh token kept in the store under
// refreshTokenKey(provider, server, user). Lives on the main thread, runs on
// its event loop and says `finished` exactly once.
class SignIn : public QObject
{
    Q_OBJECT

public:
    SignIn(SignInRequest request, SecretStore &store, BrowserLauncher browser, QObject *parent = nullptr);
    ~SignIn() override;

    void start();
    // Stops waiting for the person (the window's cancel button): the
    // listener closes, pending requests are dropped, `finished` says so.
    void cancel();

signals:
    // The device-code flow's URL and code, for the caller to show.
    void deviceCodeReady(const QUrl &verificationUri, const QString &userCode);
    void finished(const tramelo::signin::SignInResult &result);

private:
    void browserFlowEnded(const GrantOutcome &outcome);
    void granted(const GrantOutcome &outcome);
    void finish(const SignInResult &result);

    SignInRequest m_request;
    SecretStore &m_store;
    BrowserLauncher m_browser;
    bool m_browserOpened = true;
    bool m_finished = false;
    std::unique_ptr<AuthorizationCodeFlow> m_browserFlow;
    std::unique_ptr<DeviceCodeFlow> m_deviceFlow;
};

// Runs a sign-in to its end on this thread, in a local event loop (the
// terminal's use). The flows bound every wait; this bounds the whole.
SignInResult signInToEnd(SignIn &signIn);

// What the window and the terminal say about a sign-in that succeeded, and
// the device-code flow's instruction.
QString signedInText(const SignInResult &result);
QString deviceCodeText(const QUrl &verificationUri, const QString &userCode);

} // namespace tramelo::signin
