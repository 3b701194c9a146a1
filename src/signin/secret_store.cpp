#include "secret_store.h"

#include "keyring_service.h"
#include "keyring_thread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <qt6keychain/keychain.h>

#include <memory>

namespace tramelo::signin {

namespace {

const QString keyringServiceName = QStringLiteral("Tramelo");

struct JobResult
{
    bool answered = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
    QByteArray data;
};

// Makes a keychain job on the keyring thread and runs it to its end. The job
// deletes itself when it finishes, even after a time-out; the result is
// shared, so a late finish writes into memory that is still there, and read
// only once the job said it is done.
template <typename MakeJob>
JobResult runJob(MakeJob makeJob, std::chrono::milliseconds timeout)
{
    auto result = std::make_shared<JobResult>();
    const bool done = runOnKeyringThread(
        [makeJob, result](const std::function<void()> &finish) {
            QKeychain::Job *job = makeJob();
            job->setAutoDelete(true);
            job->setInsecureFallback(false);
            QObject::connect(job, &QKeychain::Job::finished, job, [result, finish](QKeychain::Job *finished) {
                result->error = finished->error();
                result->errorText = finished->errorString();
                if (auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(finished))
                    result->data = read->binaryData();
                finish();
            });
            job->start();
        },
        timeout);
    if (!done)
        return {};
    JobResult answered = *result;
    answered.answered = true;
    return answered;
}

QString failureReason(const JobResult &result, std::chrono::milliseconds timeout)
{
    if (!result.answered)
        return QStringLiteral("El clauer del sistema no ha respost en %1 s (potser espera que el desbloquegeu)")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(timeout).count());
    switch (result.error) {
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
        return QStringLiteral("El clauer del sistema no ha donat accés (potser està blocat)");
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return QStringLiteral("No hi ha clauer del sistema que Tramelo pugui fer servir");
    default:
        break;
    }
    return QStringLiteral("El clauer del sistema ha fallat: %1").arg(result.errorText.left(200));
}

// Runs `work` on a worker and gives its outcome to `done` on the main thread,
// where `context` (a window's object) is checked, and deleted if at all.
template <typename Outcome>
void answerLater(std::function<Outcome()> work, QObject *context, std::function<void(const Outcome &)> done)
{
    QThreadPool::globalInstance()->start([work = std::move(work), guard = QPointer<QObject>(context),
                                          done = std::move(done)] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, done, outcome = work()] {
            if (guard)
                done(outcome);
        });
    });
}

} // namespace

KeepOutcome SecretStore::keep(const SecretKey &key, const QByteArray &secret)
{
    const QString unavailable = keyringUnavailableReason();
    if (!unavailable.isEmpty()) {
        keepForSession(key, secret);
        return {SecretPlace::SessionOnly, unavailable + QStringLiteral(": es guarda només durant aquesta sessió")};
    }
    const JobResult result = runJob(
        [name = key.text, secret] {
            auto *job = new QKeychain::WritePasswordJob(keyringServiceName);
            job->setKey(name);
            job->setBinaryData(secret);
            return job;
        },
        m_timeout);
    if (!result.answered || result.error != QKeychain::NoError) {
        keepForSession(key, secret);
        return {SecretPlace::SessionOnly,
                failureReason(result, m_timeout) + QStringLiteral(": es guarda només durant aquesta sessió")};
    }
    dropFromSession(key);
    return {SecretPlace::Keyring, {}};
}

FetchOutcome SecretStore::fetch(const SecretKey &key)
{
    {
        QMutexLocker lock(&m_mutex);
        const auto kept = m_sessionOnly.constFind(key.text);
        if (kept != m_sessionOnly.cend())
            return {*kept, {}};
    }
    const QString unavailable = keyringUnavailableReason();
    if (!unavailable.isEmpty())
        return {std::nullopt, {SignInErrorKind::Keyring, unavailable}};
    const JobResult result = runJob(
        [name = key.text] {
            auto *job = new QKeychain::ReadPasswordJob(keyringServiceName);
            job->setKey(name);
            return job;
        },
        m_timeout);
    if (result.answered && result.error == QKeychain::NoError)
        return {result.data, {}};
    if (result.answered && result.error == QKeychain::EntryNotFound)
        return {std::nullopt, {}};
    return {std::nullopt, {SignInErrorKind::Keyring, failureReason(result, m_timeout)}};
}

void SecretStore::keep(const SecretKey &key, const QByteArray &secret, QObject *context,
                       std::function<void(const KeepOutcome &)> done)
{
    answerLater<KeepOutcome>([this, key, secret] { return keep(key, secret); }, context, std::move(done));
}

void SecretStore::fetch(const SecretKey &key, QObject *context, std::function<void(const FetchOutcome &)> done)
{
    answerLater<FetchOutcome>([this, key] { return fetch(key); }, context, std::move(done));
}

SignInError SecretStore::forget(const SecretKey &key)
{
    dropFromSession(key);
    if (!keyringUnavailableReason().isEmpty())
        return {};
    const JobResult result = runJob(
        [name = key.text] {
            auto *job = new QKeychain::DeletePasswordJob(keyringServiceName);
            job->setKey(name);
            return job;
        },
        m_timeout);
    if (result.answered && (result.error == QKeychain::NoError || result.error == QKeychain::EntryNotFound))
        return {};
    return {SignInErrorKind::Keyring, failureReason(result, m_timeout)};
}

void SecretStore::keepForSession(const SecretKey &key, const QByteArray &secret)
{
    QMutexLocker lock(&m_mutex);
    m_sessionOnly.insert(key.text, secret);
}

void SecretStore::dropFromSession(const SecretKey &key)
{
    QMutexLocker lock(&m_mutex);
    m_sessionOnly.remove(key.text);
}

} // namespace tramelo::signin
