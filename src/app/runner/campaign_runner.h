#pragma once

#include <QString>

namespace tramelo {

class TerminalView;

// How a run of a saved campaign ended, as the exit status tells it.
enum class RunnerOutcome {
    AllSent = 0,       // every row the run visited is marked "Si"
    SomeNotSent = 1,   // some visited row is marked "No" (or the test send failed)
    CouldNotStart = 2, // project, database or validation problem: nothing sent
};

// Loads the project as the window does, validates it with the same rules,
// and runs the definitive campaign (or the test send) with the same driver,
// saving the project after every group so that the marks on disk follow what
// the server accepted.
RunnerOutcome runSavedCampaign(const QString &projectPath, bool testSend, TerminalView &view);

} // namespace tramelo
