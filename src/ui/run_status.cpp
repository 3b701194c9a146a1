#include "run_status.h"

#include "campaign.h"
#include "campaign_view.h"
#include "recipient_grid.h"
#include "run_driver.h"
#include "status_line.h"

#include <QTableView>

namespace tramelo {

RunStatus::RunStatus(StatusLine &line, QTableView &grid, CampaignView &view, Campaign &campaign, CampaignRun &run,
                     QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_grid(grid)
    , m_view(view)
{
    // One tick at each change of the whole seconds left: the window sleeps in between.
    m_countdown.setSingleShot(true);
    m_countdown.setTimerType(Qt::PreciseTimer);
    connect(&m_countdown, &QTimer::timeout, this, &RunStatus::showCountdown);
    connect(&run, &CampaignRun::sendingTo, this, &RunStatus::showSending);
    connect(&run, &CampaignRun::pauseStarted, this, &RunStatus::startCountdown);
    connect(&run, &CampaignRun::pauseEnded, this, &RunStatus::stopCountdown);
    connect(&run, &CampaignRun::runFinished, this, &RunStatus::showEnd);
    connect(&campaign, &Campaign::tableListChanged, this, &RunStatus::clearCounts);
    connect(&campaign, &Campaign::fieldListChanged, this, &RunStatus::clearCounts);
    connect(&campaign.grid(), &QAbstractItemModel::modelReset, this, &RunStatus::clearCounts);
}

void RunStatus::showSending(int firstRow, const QStringList &addresses)
{
    stopCountdown();
    const QString others = addresses.size() > 1 ? QStringLiteral(" i %1 més").arg(addresses.size() - 1) : QString();
    m_line.showText(QStringLiteral("Enviant a %1%2").arg(addresses.value(0), others));
    // The view's row 0 is the grid's first data row.
    m_grid.scrollTo(m_grid.model()->index(firstRow - 1, 1));
}

void RunStatus::startCountdown(qint64 milliseconds)
{
    m_pauseEnd = QDeadlineTimer(milliseconds, Qt::PreciseTimer);
    showCountdown();
}

void RunStatus::showCountdown()
{
    const qint64 left = m_pauseEnd.remainingTime();
    if (left <= 0) {
        stopCountdown();
        return;
    }
    const qint64 seconds = (left + 999) / 1000;
    m_line.showText(QStringLiteral("Esperant %1 s").arg(seconds));
    m_countdown.start(int(left - (seconds - 1) * 1000));
}

void RunStatus::stopCountdown()
{
    m_countdown.stop();
    m_line.showText(QString());
}

void RunStatus::showEnd(const RunCounts &counts)
{
    m_countdown.stop();
    m_line.showText(endOfRunHeadline(counts) + QStringLiteral(". ") + endOfRunCounts(counts));
}

void RunStatus::clearCounts()
{
    m_countdown.stop();
    m_line.showText(QString());
    m_view.setCounts(QString());
    m_view.setTotalProgress(0, 0);
    m_view.setMessageProgress(0);
}

} // namespace tramelo
