#include "campaign_runner.h"

#include "body_preparation.h"
#include "campaign.h"
#include "campaign_validation.h"
#include "connection_security.h"
#include "internet_connection.h"
#include "project_file.h"
#include "project_lock.h"
#include "project_paths.h"
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

} // namespace

RunnerOutcome runSavedCampaign(const QString &projectArgument, bool testSend, TerminalView &view)
{
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
    if (const std::optional<QString> failure = validateCampaign(campaign.settings(), projectFolderOf(campaign))) {
        reportCouldNotStart(view, *failure);
        return RunnerOutcome::CouldNotStart;
    }
    // Nobody is there to answer the window's question: said, not asked.
    if (passwordTravelsUnencrypted(campaign.settings()))
        view.showWarning(QStringLiteral("Avís: la contrasenya viatjarà sense xifrar fins al servidor SMTP."));
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

    run.run(attachments);
    if (!finished)
        return RunnerOutcome::CouldNotStart;
    if (!saveFailed && !SaveProject(campaign, projectPath))
        saveFailed = true;
    view.showMessage(QStringLiteral("Registre d'enviaments: ") + SendJournal::pathFor(projectPath),
                     MessageIcon::Information);
    if (saveFailed || finished->failed > 0 || finished->stoppedOnFault)
        return RunnerOutcome::SomeNotSent;
    return RunnerOutcome::AllSent;
}

} // namespace tramelo
