#pragma once

#include "send_journal.h"

#include <QList>
#include <QString>

namespace tramelo {

class Campaign;
class RecipientGrid;

// A row that the journal records in doubt.
struct InDoubtRow {
    int row = 0;
    QString address;
    QString reason; // "dades: ..."
};

// What the campaign's send journal gave back, at a grid fill or at the start
// of a run.
struct JournalMarks {
    JournalReading::Status status = JournalReading::Status::Absent;
    QString path;    // beside the project file; empty without one
    QString reason;  // why it cannot be read, or whose it is
    qint64 rows = 0; // rows it marked as sent
    QList<InDoubtRow> inDoubt;
    bool failed = false; // the rows could not be read again (a message said why)
};

// Marks every row whose address the reading records as sent "Si", and every
// one it records in doubt "Dubte" (unless it shows "Si"), wherever the row
// is now.
JournalMarks markRowsFromJournal(Campaign &campaign, const JournalReading &journal);

// The rows a run would send to: marked neither "Si" nor, unless they go
// again, "Dubte".
qint64 rowsToSend(const RecipientGrid &grid, bool resendInDoubt);

} // namespace tramelo
