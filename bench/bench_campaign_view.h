#pragma once

// The window of a headless campaign in the benchmarks: no widgets; events are
// processed where the window would process them, and what it would show is
// kept for checking.

#include "campaign_view.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

namespace tramelo::bench {

class BenchView : public CampaignView
{
public:
    QStringList messages;
    qint64 totalValue = 0;
    qint64 totalMaximum = 0;
    QString counts;
    int messageProgress = 0;

    void showMessage(const QString &text, MessageIcon) override { messages.append(text); }
    // The test-send question is never asked: the run is started directly.
    bool askYesNo(const QString &, bool) override { return false; }
    Answer askYesNoCancel(const QString &) override { return Answer::Cancel; }
    QString chooseProjectFileToSave() override { return {}; }
    void setBusy(bool) override {}
    void processEvents() override { QCoreApplication::processEvents(); }
    // Bounded: wakes up after 50 ms even when nothing arrives.
    void waitForEvents() override
    {
        QTimer wakeUp;
        wakeUp.setSingleShot(true);
        wakeUp.start(50);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    void setRunButtonsEnabled(bool) override {}
    void setClearMarksEnabled(bool) override {}
    void setRecipientControlsEnabled(bool) override {}
    void showGrid() override {}
    void showRunProgress() override {}
    void hideRunProgress() override {}
    void setTotalProgress(qint64 value, qint64 maximum) override
    {
        totalValue = value;
        totalMaximum = maximum;
    }
    void setCounts(const QString &text) override { counts = text; }
    void setMessageProgress(int percent) override { messageProgress = percent; }
    void showBodyPage(const QString &) override {}
};

} // namespace tramelo::bench
