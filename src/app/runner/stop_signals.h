#pragma once

#include <QObject>

#include <thread>

namespace tramelo {

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop, so
// that the run sees the stop request at its next group. A second signal ends
// the program at once, as a terminal user expects.
//
// The thread that runs the campaign may be held inside a database driver by
// a long query (loading the project, reading the rows), where no event is
// delivered: a thread of its own waits for the signals and stops the
// recipient queries from there at once (see stopRecipientQueries).
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

Q_SIGNALS:
    void stopRequested();

private:
    void waitForSignals();

    std::thread m_waiter;
};

} // namespace tramelo
