#pragma once

#include "send_journal.h"

#include <QString>

#include <functional>
#include <optional>

namespace tramelo {

class Campaign;

// Runs once the new project file is complete and on disk, just before it
// takes the old one's place. A reason returned abandons the save and leaves
// the old file as it was; tests use it to play a failure at that moment.
using BeforeReplaceHook = std::function<std::optional<QString>()>;

// cmbGravar, once a file name was chosen: the settings and the sent marks
// written to a new file that then replaces the old one whole, readable by
// its owner only. A campaign without an identifier gets one; saved over the
// file it was loaded from, its journal from before identifiers is adopted. Nothing is written when GroupSize, WaitSeconds or a text
// cannot be stored, or when writing fails: a message box says why and the
// function returns false. On success the project path is the file and the
// campaign is no longer dirty.
bool SaveProject(Campaign &campaign, const QString &path, const BeforeReplaceHook &beforeReplace = {});

// Whether the project could be saved to path now, proved by the same steps
// as SaveProject, the project written whole and synced to its temporary name
// beside path, except the last: the temporary file is removed instead of
// taking the old one's place. On failure a message box says why and the
// function returns false. Nothing else changes.
bool ProveProjectCanBeSaved(Campaign &campaign, const QString &path);

// What became of the sent marks a project file holds, and of its send
// journal, for the caller to act on: the window goes on with the rows it
// could mark, a run must not go on without a record of who was sent to.
struct MarksRestoration {
    enum class Outcome {
        Restored,      // put back into the grid, row by row
        NoneSaved,     // the file records no outcome for any row
        NotRestorable, // outcomes were saved but cannot be put back
    };
    Outcome outcome = Outcome::NoneSaved;
    QString reason = {}; // why they cannot, for the operator

    // The journal beside the project, as the grid fill read it: the rows
    // whose address it records as sent are marked "Si" too, wherever they
    // are now. A journal of another campaign, or of none, is Foreign
    // (campaign_identity.h): it marks nothing.
    using Journal = JournalReading::Status;
    Journal journal = Journal::Absent;
    QString journalPath = {};
    QString journalReason = {}; // why it cannot be read, or whose it is
    qint64 journalRows = 0; // rows the journal marked as sent
};

// "No s'han pogut restaurar les marques d'enviat ...", with the reason.
QString marksNotRestoredMessage(const MarksRestoration &restoration);
// "No s'ha pogut llegir el registre d'enviaments ...", with the reason.
QString journalNotReadMessage(const MarksRestoration &restoration);
// How many rows the journal marked as sent, and from which file.
QString journalRowsMessage(const MarksRestoration &restoration);

// Writes the campaign's identifier into the project file at path, leaving
// its record and marks as they are on the disk (unsaved edits stay unsaved).
// Nothing on success, else why not, for the operator.
std::optional<QString> recordCampaignInProject(const QString &path, const QString &campaignId);

// cmbLlegir, once a file name was chosen: the settings put back, the
// recipient database reopened, the field list and the grid rebuilt, the
// sent marks restored when the source still yields as many rows as when the
// file was saved, and every row the send journal of the campaign records as
// sent marked "Si" by its address ("Dubte" when in doubt). What cannot be
// read stays empty and the load goes on, without a message of its own. A
// name that names no readable file changes nothing and returns nothing; so
// does a project whose connection security is a word this program does not
// know, after a message naming it.
std::optional<MarksRestoration> LoadProject(Campaign &campaign, const QString &path);

} // namespace tramelo
