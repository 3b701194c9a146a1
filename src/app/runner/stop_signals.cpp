#include "stop_signals.h"

#include "query_control.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tramelo {
namespace {

int signalPipe[2] = {-1, -1};
// Written by the object that goes, to end its waiting thread.
constexpr char endOfWaiting = 0;

void onStopSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    // The next one is not caught: a second Ctrl-C ends the program.
    std::signal(number, SIG_DFL);
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    // The handler never blocks on a full pipe; the waiting thread does block.
    if (::pipe2(signalPipe, O_CLOEXEC) != 0 || ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK) != 0)
        return;
    m_waiter = std::thread([this] { waitForSignals(); });
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

StopSignals::~StopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (!m_waiter.joinable())
        return;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &endOfWaiting, 1);
    m_waiter.join();
}

void StopSignals::waitForSignals()
{
    for (;;) {
        char byte = endOfWaiting;
        const ssize_t read = ::read(signalPipe[0], &byte, 1);
        if (read < 0 && errno == EINTR)
            continue;
        if (read != 1 || byte == endOfWaiting)
            return;
        stopRecipientQueries();
        QMetaObject::invokeMethod(this, &StopSignals::stopRequested, Qt::QueuedConnection);
    }
}

} // namespace tramelo
