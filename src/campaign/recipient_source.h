#pragma once

#include "journal_marks.h"
#include "recipient_grid.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tramelo {

class Campaign;
class CampaignSettings;
class RecordSnapshot;

// Opens the database named in DatabaseSource, refills the table list and sets
// the table-name delimiters (for a connect string only when resetDelimiters).
void OpenRecipientDatabase(Campaign &campaign, bool resetDelimiters);

// The statement of a Table source: every field of the table named between
// the table-name delimiters.
QString tableStatement(const CampaignSettings &settings);

// Lists the fields of the statement (built from the table for a Table source).
void LoadFieldList(Campaign &campaign);

// The rows of a statement on the recipient connection, as the campaign
// keeps its recipients: read whole, or streamed for marks only.
std::unique_ptr<RecordSnapshot> OpenRecipientRows(Campaign &campaign, const QString &statement, QString &error);

// "No s'ha pogut llegir el registre d'enviaments ...", with the reason.
QString journalNotReadMessage(const JournalMarks &journal);

// Fills the recipient grid with every row of the statement, then marks "Si"
// every row whose address the campaign's send journal records as sent (and
// "Dubte" every one it records in doubt): the journal, not the grid, knows
// who has been sent, so no fill forgets it. A journal of another campaign
// marks nothing (campaign_identity.h).
JournalMarks FillRecipientGrid(Campaign &campaign);

// Every row whose address the send journal records as sent marked "Si",
// and every one it records in doubt "Dubte" (see
// RecipientGrid::restoreJournalMarks); false after an error message when the
// rows of a grid without cells cannot be read.
bool RestoreJournalMarks(Campaign &campaign, const RecipientGrid::JournalLookup &lookup);

// cmbODBC after the picker: the connect string it yielded ("ODBC;" first), or
// nothing when the operator cancelled or the source could not be reached.
void ApplyOdbcChoice(Campaign &campaign, const std::optional<QString> &connectString);

// cmbDesmarcar, once the operator has confirmed it: every mark cleared, the
// button disabled, the progress hidden, and the decision recorded in the
// campaign's send journal.
void ClearSentMarks(Campaign &campaign);

} // namespace tramelo
