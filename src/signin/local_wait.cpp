#include "local_wait.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace tramelo::signin {

bool runLocally(const std::function<void(const DoneFunction &done)> &start, std::chrono::milliseconds timeout)
{
    QEventLoop loop;
    // Shared, so that a late call after this function has returned finds
    // the loop gone and does nothing.
    auto done = std::make_shared<bool>(false);
    QPointer<QEventLoop> running(&loop);
    start([done, running] {
        *done = true;
        if (running)
            running->quit();
    });
    if (*done)
        return true;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeout);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return *done;
}

} // namespace tramelo::signin
