#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

class QTableView;

namespace tramelo {

class Campaign;
class StatusLine;
class CampaignRun;
class CampaignView;
struct RunCounts;

// The window's status line during and after a run: the address being sent
// (the grid scrolled to its row), "Esperant N s" counting down the pause
// between sendings once a second, and at the end how the run ended with
// its counts. When the recipients change (another database, table or
// statement, a new grid) the counts of the last run no longer describe
// them, and are cleared with the line.
class RunStatus : public QObject
{
    Q_OBJECT
public:
    RunStatus(StatusLine &line, QTableView &grid, CampaignView &view, Campaign &campaign, CampaignRun &run,
              QObject *parent = nullptr);

private:
    void showSending(int firstRow, const QStringList &addresses);
    void startCountdown(qint64 milliseconds);
    void showCountdown();
    void stopCountdown();
    void showEnd(const RunCounts &counts);
    void clearCounts();

    StatusLine &m_line;
    QTableView &m_grid;
    CampaignView &m_view;
    QTimer m_countdown;
    QDeadlineTimer m_pauseEnd;
};

} // namespace tramelo
