#pragma once

#include "send_journal.h"

#include <QString>

#include <optional>

namespace tramelo {

class Campaign;

// A campaign gets an identifier when it is first saved; its project file
// keeps it (the extension key "campanya") and its send journal names it (a
// row whose Etapa is "campanya"). A journal is only ever used to tell who
// has been sent a campaign when it names that campaign: a journal of
// another campaign, or of none, is "foreign". A project and a journal from
// before identifiers existed, both without one, still belong together;
// the campaign's first save over its own file, or its first run, gives the
// pair an identifier.

// A new identifier: a random UUID, without braces.
QString newCampaignId();

// The journal beside the campaign's project file, read once, with what it
// says of who was sent put aside when it is foreign.
JournalReading readCampaignJournal(const Campaign &campaign);

// At the start of a run, a campaign without an identifier gets one: written
// into its project file, when there is one, and into its journal when that
// names no campaign (the pair from before identifiers). Nothing on success,
// else why not, for the operator.
std::optional<QString> giveCampaignIdentity(Campaign &campaign);
// The journal of the project file path, when it names no campaign, now
// names this one.
std::optional<QString> adoptJournal(const QString &projectPath, const QString &campaignId);

// A foreign journal is never deleted: a new one starts after it is renamed
// with its date, "NAME.enviaments.2026-12-07.csv" (then "...-2.csv", and
// so on, never over another file).
QString setAsideNameFor(const QString &journalPath);
std::optional<QString> setJournalAside(const QString &journalPath, const QString &asideName);

// The window's question before a run with a foreign journal.
QString foreignJournalQuestion(const JournalReading &journal, const QString &asideName);
// Why a run cannot go by the journal: it cannot be read, or it is foreign
// (naming the journal and the project); nothing when it can.
std::optional<QString> journalRefusal(const JournalReading &journal, const Campaign &campaign);

} // namespace tramelo
