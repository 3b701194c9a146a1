#pragma once

#include "campaign_view.h"
#include "run_driver.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

namespace tramelo {

// The campaign's window on a terminal: every message the window would show
// becomes a line (errors on standard error), and the run's progress is a bar
// redrawn in place when standard error is a terminal, one plain line per
// group otherwise.
class TerminalView : public CampaignView
{
public:
    explicit TerminalView(bool interactive);

    // How many error messages have been shown so far.
    int errorCount() const { return m_errorCount; }

    void showProgress(const RunCounts &counts);
    void endProgress();
    // A row not sent, as a line on standard error: row, address, stage, reply.
    void showRowFailure(const RowOutcome &row);
    // A line on standard error that is no error of the run.
    void showWarning(const QString &text);

    void showMessage(const QString &text, MessageIcon icon) override;
    bool askYesNo(const QString &question, bool yesIsDefault) override;
    Answer askYesNoCancel(const QString &) override { return Answer::Cancel; }
    QString chooseProjectFileToSave() override { return {}; }
    void setBusy(bool) override {}
    void processEvents() override;
    void waitForEvents() override;
    void setRunButtonsEnabled(bool) override {}
    void setClearMarksEnabled(bool) override {}
    void setRecipientControlsEnabled(bool) override {}
    void showGrid() override {}
    void showRunProgress() override;
    void hideRunProgress() override {}
    void setTotalProgress(qint64, qint64) override {}
    void setCounts(const QString &) override {}
    void setMessageProgress(int) override {}
    void showBodyPage(const QString &) override {}

private:
    void clearBar();

    bool m_interactive;
    bool m_barShown = false;
    int m_errorCount = 0;
    QElapsedTimer m_clock;
};

} // namespace tramelo
