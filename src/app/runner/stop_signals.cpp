#include "stop_signals.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tramelo {
namespace {

int signalPipe[2] = {-1, -1};

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
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::onSignalPipe);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

StopSignals::~StopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void StopSignals::onSignalPipe()
{
    char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1) {
    }
    Q_EMIT stopRequested();
}

} // namespace tramelo
