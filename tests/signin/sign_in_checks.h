#pragma once

#include "oauth_server.h"
#include "oauth_provider.h"
#include "sign_in_types.h"

#include <QStringList>

// Everything this process wrote through Qt's messages (debug, warnings)
// since the last call, collected so that tests can look for secrets in it.
void collectMessages();
QStringList takeMessages();

// Fails the test when a text holds any of the secrets.
void expectNoSecret(const QString &text, const QStringList &secrets);

// The endpoints of a client of the test server.
tramelo::signin::OAuthEndpoints testEndpoints(const tramelo::test::OAuthTestServer &server, const QString &clientId,
                                              const QString &clientSecret = {});

// Signs in through the browser flow with a TestBrowser, as the window would.
tramelo::signin::GrantOutcome signInWithTestBrowser(const tramelo::signin::OAuthEndpoints &endpoints);
