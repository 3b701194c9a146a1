#pragma once

#include <QString>

namespace tramelo {

class Campaign;

// An entry chosen in the address field list (comboFields(1)). A field none
// of whose first 100 non-empty values is a valid address is taken only when
// the operator confirms it; otherwise the choice goes back to the field the
// grid shows (if the list still offers it) and the grid stays as it is.
// Taken, it fills the recipient grid (the rows the send journal records as
// sent marked "Si", a journal that cannot be read said so). Returns whether
// it was taken.
bool ChooseAddressField(Campaign &campaign, const QString &field);

} // namespace tramelo
