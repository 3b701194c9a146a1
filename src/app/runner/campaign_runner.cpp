#include "campaign_runner.h"

#include "body_preparation.h"
#include "campaign.h"
#include "campaign_identity.h"
#include "connection_security.h"
#include "internet_connection.h"
#include "journal_marks.h"
#include "pre_run_checks.h"
#include "project_file.h"
#include "project_lock.h"
#include "run_driver.h"
#include "send_journal.h"
#include "stop_signals.h"
#include "terminal_view.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace tramelo {
namespace {

// The send journal is a run's durable record, made durable after every
// group; the project's own marks only follow it now and then, so that the
// whole file is not rewritten after every group: after this long, or this
// many groups, whichever comes first, and at the end of the run.
constexpr qint64 projectSaveEveryMilliseconds = 5000;
constexpr int projectSaveEveryGroups = 500;

// When the next periodic save is due.
class ProjectSaveSchedule
{
public:
    ProjectSaveSchedule() { m_sinceSave.start(); }
    bool groupMarked() { return ++m_groups >= projectSaveEveryGroups || m_sinceSave.elapsed() >= projectSaveEveryMilliseconds; }
    void saved()
    {
        m_groups = 0;
        m_sinceSave.start();
    }

private:
    int m_groups = 0;
    QElapsedTimer m_sinceSave;
};

void reportCouldNotStart(TerminalView &view, const QString &reason)
{
    view.showMessage(reason, MessageIcon::Error);
}

// The journal as the run goes by it, read once when it starts, with the rows
// it records in doubt named; nothing when the run cannot start, after a
// message.
std::optional<CampaignRun::Start> startFromJournal(Campaign &campaign, const RunnerOptions &options,
                                                  const QString &attachments, TerminalView &view)
{
    if (const std::optional<QString> failure = giveCampaignIdentity(campaign)) {
        reportCouldNotStart(view, *failure);
        return std::nullopt;
    }
    CampaignRun::Start start{attachments, readCampaignJournal(campaign), options.resendInDoubt};
    if (const std::optional<QString> refusal = journalRefusal(start.journal, campaign)) {
        reportCouldNotStart(view, *refusal);
        return std::nullopt;
    }
    const JournalMarks marks = markRowsFromJournal(campaign, start.journal);
    if (marks.failed)
        return std::nullopt;
    for (const InDoubtRow &row : marks.inDoubt)
        view.showMessage(QStringLiteral("En dubte: fila %1, %2, %3").arg(row.row).arg(row.address, row.reason),
                         MessageIcon::Information);
    if (!marks.inDoubt.isEmpty()) {
        view.showMessage(options.resendInDoubt
                             ? QStringLiteral("Es torna a enviar el missatge als destinataris en dubte.")
                             : QStringLiteral("No es torna a enviar el missatge als destinataris en dubte: el servidor "
                                              "potser ja el va rebre. Per enviar-l'hi, feu servir --reenvia-en-dubte."),
                         MessageIcon::Information);
    }
    if (rowsToSend(campaign.grid(), options.resendInDoubt) == 0) {
        reportCouldNotStart(view, nothingToSendMessage);
        return std::nullopt;
    }
    return start;
}

} // namespace

RunnerOutcome runSavedCampaign(const QString &projectArgument, const RunnerOptions &options, TerminalView &view)
{
    const bool testSend = options.testSend;
    const QFileInfo project(projectArgument);
    if (!project.isFile() || !project.isReadable()) {
        reportCouldNotStart(view, QStringLiteral("No es pot llegir l'arxiu de projecte: ") + projectArgument);
        return RunnerOutcome::CouldNotStart;
    }
    // Every save goes to the file named at the start, whatever folder is
    // current by then.
    const QString projectPath = project.absoluteFilePath();

    // From the start: a stop while the project loads ends a long query.
    StopSignals stopSignals;

    // Taken before the marks are read, so that they are the last ones saved.
    ProjectLock lock;
    if (!testSend) {
        if (const std::optional<ProjectLock::Failure> failure = lock.acquire(projectPath)) {
            reportCouldNotStart(view, failure->reason);
            return RunnerOutcome::CouldNotStart;
        }
    }

    // Nobody looks at the rows' cells here: only their marks are kept.
    Campaign campaign(view, RecipientRows::MarksOnly);
    const int errorsBeforeLoad = view.errorCount();
    const std::optional<MarksRestoration> marks = LoadProject(campaign, projectPath);
    if (!marks || view.errorCount() != errorsBeforeLoad)
        return RunnerOutcome::CouldNotStart;
    // Without a record of who was sent to, the run would send to them again:
    // the journal's addresses stand in for marks that no longer fit the rows.
    if (!testSend && marks->journal == MarksRestoration::Journal::Unreadable) {
        reportCouldNotStart(view, QStringLiteral("No es pot començar l'enviament. ") + journalNotReadMessage(*marks));
        return RunnerOutcome::CouldNotStart;
    }
    if (!testSend && marks->journal == MarksRestoration::Journal::Foreign) {
        reportCouldNotStart(view, journalRefusal(readCampaignJournal(campaign), campaign).value_or(QString()));
        return RunnerOutcome::CouldNotStart;
    }
    if (!testSend && marks->outcome == MarksRestoration::Outcome::NotRestorable) {
        if (marks->journal == MarksRestoration::Journal::Absent) {
            reportCouldNotStart(view, QStringLiteral("No es pot començar l'enviament. ") + marksNotRestoredMessage(*marks));
            return RunnerOutcome::CouldNotStart;
        }
        view.showMessage(marksNotRestoredMessage(*marks) + QStringLiteral(". Es reprèn per adreça amb el registre d'enviaments."),
                         MessageIcon::Information);
    }
    if (!testSend && marks->journal == MarksRestoration::Journal::Read)
        view.showMessage(journalRowsMessage(*marks), MessageIcon::Information);
    if (const std::optional<QString> refusal = refusalBeforeSending(campaign)) {
        reportCouldNotStart(view, *refusal);
        return RunnerOutcome::CouldNotStart;
    }
    // Nobody is there to answer the window's questions: said, or decided
    // by the command line.
    if (passwordTravelsUnencrypted(campaign.settings()))
        view.showWarning(QStringLiteral("Avís: la contrasenya viatjarà sense xifrar fins al servidor SMTP."));
    if (const QStringList unknown = unknownPlaceholders(campaign); !testSend && !unknown.isEmpty()) {
        if (!options.acceptUnknownFields) {
            reportCouldNotStart(view, unknownPlaceholdersRefusal(unknown));
            return RunnerOutcome::CouldNotStart;
        }
        view.showWarning(unknownPlaceholdersWarning(unknown));
    }
    if (const QStringList unmerged = unmergedPlaceholders(campaign); !testSend && !unmerged.isEmpty())
        view.showWarning(unmergedPlaceholdersWarning(unmerged));
    // A project that cannot keep its marks would find out only after the
    // first group had gone out.
    if (!testSend && !ProveProjectCanBeSaved(campaign, projectPath))
        return RunnerOutcome::CouldNotStart;

    SystemInternetConnection connection;
    CampaignRun run(campaign, connection);
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &campaign, [&] {
        view.showMessage(QStringLiteral("Aturant l'enviament després del grup actual..."), MessageIcon::Information);
        campaign.setStopRequested(true);
    });

    const QString attachments = BuildAttachmentList(campaign);
    if (testSend) {
        const int errorsBefore = view.errorCount();
        run.testSend(attachments);
        return view.errorCount() == errorsBefore ? RunnerOutcome::AllSent : RunnerOutcome::SomeNotSent;
    }

    QObject::connect(&run, &CampaignRun::rowsMarked, &campaign, [&view](const QList<RowOutcome> &rows) {
        for (const RowOutcome &row : rows) {
            if (!row.sent)
                view.showRowFailure(row);
        }
    });
    bool saveFailed = false;
    ProjectSaveSchedule saves;
    QObject::connect(&run, &CampaignRun::groupMarked, &campaign, [&](const RunCounts &counts) {
        view.showProgress(counts);
        if (!saves.groupMarked())
            return;
        // A campaign that cannot keep its marks must not go on sending.
        if (!SaveProject(campaign, projectPath)) {
            saveFailed = true;
            campaign.setStopRequested(true);
        }
        saves.saved();
    });
    std::optional<RunCounts> finished;
    QObject::connect(&run, &CampaignRun::runFinished, &campaign, [&](const RunCounts &counts) {
        view.endProgress();
        finished = counts;
    });

    const std::optional<CampaignRun::Start> start = startFromJournal(campaign, options, attachments, view);
    if (!start)
        return RunnerOutcome::CouldNotStart;
    run.run(*start);
    if (!finished)
        return RunnerOutcome::CouldNotStart;
    if (!saveFailed && !SaveProject(campaign, projectPath))
        saveFailed = true;
    view.showMessage(QStringLiteral("Registre d'enviaments: ") + SendJournal::pathFor(projectPath),
                     MessageIcon::Information);
    if (finished->stoppedOnFault || finished->stoppedOnRequest)
        return RunnerOutcome::Stopped;
    if (saveFailed || finished->failed > 0 || finished->inDoubt > 0)
        return RunnerOutcome::SomeNotSent;
    return RunnerOutcome::AllSent;
}

} // namespace tramelo
