#pragma once

#include "send_outcome.h"

#include <QString>

namespace tramelo {

// What became of one recipient row in a run: what the grid marks, the send
// journal records and tramelo-run reports.
struct RowOutcome {
    int row = 0;     // the grid row
    QString address; // as the source gave it
    bool sent = false;
    SendStage stage = SendStage::Validation; // where it failed, when not sent
    QString reply;     // the server's reply (or our own text, in Catalan), on one line
    QString messageId; // when sent
    // Not sent, but not known to have failed either: the whole message went
    // and the server's answer to its end never came. It is neither marked
    // sent nor sent again unless the operator asks.
    bool inDoubt = false;
};

// The stage in the operator's words: "validació", "connexió",
// "autenticació", "remitent", "destinatari", "dades", "temps esgotat".
QString stageText(SendStage stage);

// Why a row was not sent, for its tool tip and the terminal: the stage, ": ",
// the reply.
QString failureReason(const RowOutcome &outcome);

// A reply as one line: every line break, with the blanks around it, becomes
// one blank, and the blanks at either end go.
QString oneLine(const QString &text);

} // namespace tramelo
