#pragma once

#include "send_one_message.h"

#include <QStringList>

#include <optional>

namespace tramelo {

class Campaign;
class RecordSnapshot;
struct RunSettings;

// What a run sends to one group of recipients. A run of groups of one sends
// each its own message: the address in To, the record (the snapshot's
// current one) merged into subject and body. Larger groups go in Bcc, with
// subject and body as typed.
OutgoingMessage groupMessage(const RunSettings &settings, const RecordSnapshot &record, const QStringList &addresses);

// What the run would send for grid row `row`, from the cells the grid keeps
// of it: its own message, or the group's one with its address in Bcc.
// Nothing when the row does not exist or the grid keeps no cells.
std::optional<OutgoingMessage> messageForRow(const Campaign &campaign, int row, const QString &attachments);

} // namespace tramelo
