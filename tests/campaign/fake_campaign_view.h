#pragma once

#include "campaign_view.h"
#include "message_icon_name.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace tramelo::test {

struct ShownMessage {
    QString text;
    MessageIcon icon;
};

// A window without widgets for tests: it records every call in order as a
// line of text (the event pumps only as counts, a run makes thousands) and
// keeps the state the widgets would show. Questions are answered from a
// queue; a question nobody expected fails the test and answers No.
class FakeCampaignView : public CampaignView
{
public:
    // ---- what was asked of the window --------------------------------------
    QStringList calls;
    std::vector<ShownMessage> messages;
    QStringList questions;
    int processEventsCount = 0;
    int waitForEventsCount = 0;

    // ---- what the widgets would show now ----------------------------------
    int busyDepth = 0;
    bool runButtonsEnabled = true;
    bool clearMarksEnabled = false;
    bool gridShown = false;
    bool runProgressShown = false;
    qint64 totalProgressValue = 0;
    qint64 totalProgressMaximum = 0;
    QString counts;
    int messageProgress = 0;
    QString bodyPage;

    // ---- what the test decides --------------------------------------------
    std::deque<Answer> answers;

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const ShownMessage &message : messages)
            texts.append(message.text);
        return texts;
    }

    void showMessage(const QString &text, MessageIcon icon) override
    {
        calls.append(QStringLiteral("message[%1] %2").arg(iconName(icon), text));
        messages.push_back({text, icon});
    }

    bool askYesNo(const QString &question, bool yesIsDefault) override
    {
        calls.append(QStringLiteral("question[%1] %2").arg(yesIsDefault ? QStringLiteral("yes") : QStringLiteral("no"), question));
        const Answer answer = nextAnswer(question);
        if (answer == Answer::Cancel)
            ADD_FAILURE() << "Cancel answered to a Yes/No question: " << question.toStdString();
        return answer == Answer::Yes;
    }

    Answer askYesNoCancel(const QString &question) override
    {
        calls.append(QStringLiteral("question[yes, cancel] %1").arg(question));
        return nextAnswer(question);
    }

    // The dialog cancelled: the tests' campaigns have their project path.
    QString chooseProjectFileToSave() override
    {
        calls.append(QStringLiteral("save dialog"));
        return {};
    }

    void setBusy(bool busy) override
    {
        calls.append(busy ? QStringLiteral("busy on") : QStringLiteral("busy off"));
        busyDepth += busy ? 1 : -1;
    }

    void processEvents() override
    {
        ++processEventsCount;
        QCoreApplication::processEvents();
    }

    // Sleeps until an event arrives, at most 50 ms, so that a wait that
    // nothing ends still comes back to the loop that bounds it.
    void waitForEvents() override
    {
        ++waitForEventsCount;
        QTimer wakeUp;
        wakeUp.setSingleShot(true);
        wakeUp.start(50);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    void setRunButtonsEnabled(bool enabled) override
    {
        calls.append(QStringLiteral("run buttons %1").arg(enabled ? QStringLiteral("on") : QStringLiteral("off")));
        runButtonsEnabled = enabled;
    }

    void setRecipientControlsEnabled(bool enabled) override
    {
        calls.append(QStringLiteral("recipient controls %1").arg(enabled ? QStringLiteral("on") : QStringLiteral("off")));
    }

    void setClearMarksEnabled(bool enabled) override
    {
        calls.append(QStringLiteral("clear marks button %1").arg(enabled ? QStringLiteral("on") : QStringLiteral("off")));
        clearMarksEnabled = enabled;
    }

    void showGrid() override
    {
        calls.append(QStringLiteral("show grid"));
        gridShown = true;
    }

    void showRunProgress() override
    {
        calls.append(QStringLiteral("show run progress"));
        runProgressShown = true;
    }

    void hideRunProgress() override
    {
        calls.append(QStringLiteral("hide run progress"));
        runProgressShown = false;
    }

    void setTotalProgress(qint64 value, qint64 maximum) override
    {
        calls.append(QStringLiteral("total progress %1/%2").arg(value).arg(maximum));
        totalProgressValue = value;
        totalProgressMaximum = maximum;
    }

    void setCounts(const QString &text) override
    {
        calls.append(QStringLiteral("counts %1").arg(text));
        counts = text;
    }

    void setMessageProgress(int percent) override
    {
        calls.append(QStringLiteral("message progress %1").arg(percent));
        messageProgress = percent;
    }

    void showBodyPage(const QString &path) override
    {
        calls.append(QStringLiteral("body page %1").arg(path));
        bodyPage = path;
    }

private:
    Answer nextAnswer(const QString &question)
    {
        questions.append(question);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << question.toStdString();
            return Answer::No;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace tramelo::test
