#pragma once

#include "campaign_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace tramelo {

class Campaign;
class SecondsBox;

// Each binding keeps one control and one campaign setting equal both ways:
// what the operator types is written to the setting, and every change of
// the setting (a project load, a rebuilt body, a database box emptied after
// a failed open) shows in the control, without being written back.

void bindTextBox(QLineEdit *box, CampaignSettings &settings, Setting setting);
void bindTextBox(QPlainTextEdit *box, CampaignSettings &settings, Setting setting);
void bindCheckBox(QCheckBox *box, CampaignSettings &settings, Check check);
// A number of seconds: the box shows the setting read as a number, within
// its range, and writes what the operator sets as "2.5" or "15".
void bindSecondsBox(SecondsBox *box, CampaignSettings &settings, Setting setting);

// The connection's security: the list's entries in the order of
// ConnectionSecurity.
void bindSecurityList(QComboBox *list, CampaignSettings &settings);

// The table list (TableName) or the address field list (AddressField): its
// text is the setting, its items the campaign's list of the same kind.
void bindList(QComboBox *list, Campaign &campaign, Setting setting);

} // namespace tramelo
