#pragma once

#include <QString>

namespace tramelo {

class TerminalView;

// How a run of a saved campaign ended, as the exit status tells it.
enum class RunnerOutcome {
    AllSent = 0,       // every row the run visited is marked "Si"
    SomeNotSent = 1,   // some visited row is marked "No" or "Dubte" (or the test send failed)
    CouldNotStart = 2, // project, database, journal or a check before sending: nothing sent
    Stopped = 3,       // stopped before the end: Ctrl-C, SIGTERM, or a stop on a fault
};

// What the command line asks for.
struct RunnerOptions {
    bool testSend = false;
    // Send again to the rows the journal records in doubt (else they are
    // left out, and named).
    bool resendInDoubt = false;
    // Send although subject or body name fields the source does not have.
    bool acceptUnknownFields = false;
};

// Loads the project as the window does, validates it with the same rules,
// and runs the definitive campaign (or the test send) with the same driver.
// The send journal, durable after every group, is the run's record of who
// was sent to; the project file is saved every few seconds (or few hundred
// groups) and at the end, and a run started again resumes from the journal.
// A definitive run holds the project's lock for its whole length, and does
// not start when the saved marks cannot be put back, the journal is of
// another campaign, a check before sending fails or the project cannot be
// saved.
RunnerOutcome runSavedCampaign(const QString &projectArgument, const RunnerOptions &options, TerminalView &view);

} // namespace tramelo
