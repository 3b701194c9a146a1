#pragma once

#include "message_icon_name.h"
#include "window_dialogs.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

namespace tramelo::test {

// The main window's dialogs answered from a script, without modal loops.
// Every dialog is logged in order as one line ("message[error] text",
// "question[no] text", "question[yes, cancel] text", "open <initial name> |
// <filter>"); a dialog the script has no answer for is logged in unexpected
// and cancelled (a question answered No).
class ScriptedDialogs : public WindowDialogs
{
public:
    // ---- what the window asked ---------------------------------------------
    QStringList log;
    QStringList unexpected;
    QStringList messages;  // "[icon] text"
    QStringList questions; // "[yes|no default] text"

    // ---- what the script answers --------------------------------------------
    std::deque<Answer> answers;
    std::deque<QString> filesToOpen; // an empty text cancels
    std::deque<QString> filesToSave;
    std::deque<std::optional<OdbcSourceChoice>> odbcChoices;
    // Runs as each question is asked, before it is answered.
    std::function<void(const QString &question)> onQuestion;

    void showMessage(QWidget *, const QString &text, MessageIcon icon) override
    {
        const QString line = QStringLiteral("[%1] %2").arg(iconName(icon), text);
        messages.append(line);
        log.append(QStringLiteral("message") + line);
    }

    bool askYesNo(QWidget *, const QString &question, bool yesIsDefault) override
    {
        const Answer answer = nextAnswer(QStringLiteral("[%1] %2").arg(yesIsDefault ? QStringLiteral("yes") : QStringLiteral("no"), question), question);
        if (answer == Answer::Cancel)
            unexpected.append(QStringLiteral("cancel for ") + question);
        return answer == Answer::Yes;
    }

    Answer askYesNoCancel(QWidget *, const QString &question) override
    {
        return nextAnswer(QStringLiteral("[yes, cancel] ") + question, question);
    }

    QString chooseFileToOpen(QWidget *, const QString &initialName, const QString &filter) override
    {
        return answerFile(QStringLiteral("open"), filesToOpen, initialName, filter);
    }

    QString chooseFileToSave(QWidget *, const QString &initialName, const QString &filter) override
    {
        return answerFile(QStringLiteral("save"), filesToSave, initialName, filter);
    }

    std::optional<OdbcSourceChoice> chooseOdbcSource(QWidget *) override
    {
        log.append(QStringLiteral("odbc picker"));
        if (odbcChoices.empty()) {
            unexpected.append(QStringLiteral("odbc picker"));
            return std::nullopt;
        }
        const std::optional<OdbcSourceChoice> choice = odbcChoices.front();
        odbcChoices.pop_front();
        return choice;
    }

private:
    Answer nextAnswer(const QString &line, const QString &question)
    {
        questions.append(line);
        log.append(QStringLiteral("question") + line);
        if (onQuestion)
            onQuestion(question);
        if (answers.empty()) {
            unexpected.append(QStringLiteral("question ") + question);
            return Answer::No;
        }
        const Answer next = answers.front();
        answers.pop_front();
        return next;
    }

    QString answerFile(const QString &kind, std::deque<QString> &answersOfKind, const QString &initialName,
                       const QString &filter)
    {
        log.append(QStringLiteral("%1 %2 | %3").arg(kind, initialName, filter));
        if (answersOfKind.empty()) {
            unexpected.append(kind + QStringLiteral(" dialog"));
            return {};
        }
        const QString answer = answersOfKind.front();
        answersOfKind.pop_front();
        return answer;
    }
};

} // namespace tramelo::test
