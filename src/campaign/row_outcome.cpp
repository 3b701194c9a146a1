#include "row_outcome.h"

namespace tramelo {

QString stageText(SendStage stage)
{
    switch (stage) {
    case SendStage::Validation:
        return QStringLiteral("validació");
    case SendStage::Connection:
        return QStringLiteral("connexió");
    case SendStage::Login:
        return QStringLiteral("autenticació");
    case SendStage::Sender:
        return QStringLiteral("remitent");
    case SendStage::Recipient:
        return QStringLiteral("destinatari");
    case SendStage::Data:
        return QStringLiteral("dades");
    case SendStage::Timeout:
        return QStringLiteral("temps esgotat");
    }
    return {};
}

QString failureReason(const RowOutcome &outcome)
{
    return stageText(outcome.stage) + QStringLiteral(": ") + outcome.reply;
}

QString oneLine(const QString &text)
{
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return text.trimmed();
    QString line;
    line.reserve(text.size());
    bool inBreak = false;
    for (const QChar c : text) {
        if (c == u'\r' || c == u'\n') {
            inBreak = true;
            continue;
        }
        if (inBreak && c == u' ')
            continue;
        if (inBreak) {
            while (line.endsWith(u' '))
                line.chop(1);
            line += u' ';
            inBreak = false;
        }
        line += c;
    }
    return line.trimmed();
}

} // namespace tramelo
