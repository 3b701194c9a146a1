#pragma once

#include <QString>

#include <optional>

namespace tramelo {

class Campaign;
class CampaignSettings;

// Opens the database named in DatabaseSource, refills the table list and sets
// the table-name delimiters (for a connect string only when resetDelimiters).
void OpenRecipientDatabase(Campaign &campaign, bool resetDelimiters);

// The statement of a Table source: every field of the table named between
// the table-name delimiters.
QString tableStatement(const CampaignSettings &settings);

// Lists the fields of the statement (built from the table for a Table source).
void LoadFieldList(Campaign &campaign);

// Fills the recipient grid with every row of the statement.
void FillRecipientGrid(Campaign &campaign);

// cmbODBC after the picker: the connect string it yielded ("ODBC;" first), or
// nothing when the operator cancelled or the source could not be reached.
void ApplyOdbcChoice(Campaign &campaign, const std::optional<QString> &connectString);

// cmbDesmarcar: every mark cleared, the button disabled, the progress hidden,
// and the decision recorded in the campaign's send journal.
void ClearSentMarks(Campaign &campaign);

} // namespace tramelo
