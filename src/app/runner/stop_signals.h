#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace tramelo {

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop, so
// that the run sees the stop request at its next group. A second signal ends
// the program at once, as a terminal user expects.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

Q_SIGNALS:
    void stopRequested();

private:
    void onSignalPipe();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tramelo
