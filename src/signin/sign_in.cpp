#include "sign_in.h"

#include "local_wait.h"

#include <memory>

namespace tramelo::signin {

namespace {

// Past the longest the flows allow: a code's 30 minutes and its last request.
constexpr std::chrono::minutes longestSignIn{32};

} // namespace

SignIn::SignIn(SignInRequest request, SecretStore &store, BrowserLauncher browser, QObject *parent)
    : QObject(parent), m_request(std::move(request)), m_store(store), m_browser(std::move(browser))
{
}

SignIn::~SignIn() = default;

void SignIn::start()
{
    const BrowserLauncher browser = [this](const QUrl &url) { return m_browserOpened = m_browser(url); };
    m_browserFlow = std::make_unique<AuthorizationCodeFlow>(m_request.endpoints, browser);
    m_browserFlow->setTimeout(m_request.browserTimeout);
    connect(m_browserFlow.get(), &AuthorizationCodeFlow::finished, this, &SignIn::browserFlowEnded);
    m_browserFlow->start();
}

void SignIn::browserFlowEnded(const GrantOutcome &outcome)
{
    if (m_finished)
        return;
    if (m_browserOpened || m_request.endpoints.deviceAuthorization.isEmpty()) {
        granted(outcome);
        return;
    }
    m_deviceFlow = std::make_unique<DeviceCodeFlow>(m_request.endpoints);
    connect(m_deviceFlow.get(), &DeviceCodeFlow::userCodeReady, this, &SignIn::deviceCodeReady);
    connect(m_deviceFlow.get(), &DeviceCodeFlow::finished, this, &SignIn::granted);
    m_deviceFlow->start();
}

void SignIn::granted(const GrantOutcome &outcome)
{
    if (m_finished)
        return;
    if (!outcome.ok()) {
        finish({outcome.error, {}, {}, {}, {}});
        return;
    }
    if (outcome.grant.refreshToken.isEmpty()) {
        finish({{SignInErrorKind::BadAnswer,
                 QStringLiteral("El proveïdor no ha donat cap testimoni de renovació: cal que l'abast inclogui "
                                "offline_access (o el que demani el proveïdor per a l'accés sense la persona)")},
                {}, {}, {}, {}});
        return;
    }
    const QString user = m_request.user.trimmed().isEmpty() ? outcome.grant.account : m_request.user.trimmed();
    if (user.isEmpty()) {
        finish({{SignInErrorKind::Configuration,
                 QStringLiteral("El proveïdor no ha dit amb quin compte s'ha iniciat la sessió: escriviu l'usuari i "
                                "torneu a iniciar la sessió")},
                {}, {}, {}, {}});
        return;
    }
    const SecretKey key = refreshTokenKey(m_request.provider, m_request.server, user);
    // Without blocking this thread: the keyring may ask the person to unlock it.
    m_store.keep(key, outcome.grant.refreshToken, this, [this, key, grant = outcome.grant](const KeepOutcome &kept) {
        finish({{}, grant.account, key, kept, grant});
    });
}

void SignIn::cancel()
{
    // Later, in case a flow's own signal is on the way out.
    if (m_browserFlow)
        m_browserFlow.release()->deleteLater();
    if (m_deviceFlow)
        m_deviceFlow.release()->deleteLater();
    finish({{SignInErrorKind::Cancelled, QStringLiteral("S'ha cancel·lat l'inici de sessió")}, {}, {}, {}, {}});
}

void SignIn::finish(const SignInResult &result)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(result);
}

SignInResult signInToEnd(SignIn &signIn)
{
    auto result = std::make_shared<SignInResult>();
    result->error = {SignInErrorKind::TimedOut, QStringLiteral("L'inici de sessió no ha acabat a temps")};
    runLocally(
        [&signIn, result](const DoneFunction &done) {
            QObject::connect(&signIn, &SignIn::finished, &signIn, [result, done](const SignInResult &given) {
                *result = given;
                done();
            });
            signIn.start();
        },
        longestSignIn);
    return *result;
}

QString signedInText(const SignInResult &result)
{
    const QString who = result.account.isEmpty()
                            ? QStringLiteral("S'ha iniciat la sessió")
                            : QStringLiteral("S'ha iniciat la sessió com a %1").arg(result.account);
    if (result.kept.place == SecretPlace::Keyring)
        return who + QStringLiteral(". L'autorització es guarda al clauer del sistema.");
    return who + QStringLiteral(". %1.").arg(result.kept.reason);
}

QString deviceCodeText(const QUrl &verificationUri, const QString &userCode)
{
    return QStringLiteral("Per iniciar la sessió, obriu %1 en un navegador de qualsevol dispositiu i escriviu-hi el "
                          "codi %2")
        .arg(verificationUri.toString(), userCode);
}

} // namespace tramelo::signin
