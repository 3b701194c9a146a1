#include "keyring_thread.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QObject>
#include <QThread>
#include <QWaitCondition>

#include <memory>

namespace tramelo::signin {

namespace {

class KeyringThread
{
public:
    KeyringThread()
    {
        m_thread.setObjectName(QStringLiteral("tramelo-keyring"));
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }
    ~KeyringThread()
    {
        m_thread.quit();
        m_thread.wait(5000);
    }

    QObject *context() { return &m_context; }

private:
    QObject m_context;
    QThread m_thread;
};

struct Completion
{
    QMutex mutex;
    QWaitCondition finished;
    bool done = false;
};

} // namespace

bool runOnKeyringThread(const std::function<void(const std::function<void()> &done)> &start,
                        std::chrono::milliseconds timeout)
{
    static KeyringThread thread;
    // Shared, so that a job that ends after the time-out still finds it.
    auto completion = std::make_shared<Completion>();
    QMetaObject::invokeMethod(thread.context(), [start, completion] {
        start([completion] {
            QMutexLocker lock(&completion->mutex);
            completion->done = true;
            completion->finished.wakeAll();
        });
    });
    QDeadlineTimer deadline(timeout);
    QMutexLocker lock(&completion->mutex);
    while (!completion->done && !deadline.hasExpired())
        completion->finished.wait(&completion->mutex, deadline);
    return completion->done;
}

} // namespace tramelo::signin
