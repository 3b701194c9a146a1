#include "run_driver.h"

#include "address_validation.h"
#include "body_preparation.h"
#include "campaign.h"
#include "campaign_identity.h"
#include "campaign_numbers.h"
#include "campaign_view.h"
#include "clsEnviarCorreu.h"
#include "connection_security.h"
#include "counted_text.h"
#include "journal_marks.h"
#include "mail_texts.h"
#include "plain_text.h"
#include "pre_run_checks.h"
#include "project_file.h"
#include "project_lock.h"
#include "project_paths.h"
#include "recipient_connection.h"
#include "recipient_grid.h"
#include "recipient_message.h"
#include "recipient_source.h"
#include "run_settings.h"
#include "send_journal.h"
#include "send_one_message.h"

#include <QHash>
#include <QScopedValueRollback>

#include <algorithm>
#include <map>

namespace tramelo {
namespace {

const QString finishedMessage = QStringLiteral("Enviament finalitzat");
const QString stoppedMessage = QStringLiteral("Enviament aturat");
const QString invalidAddressText = QStringLiteral("Adreça de correu no vàlida");

// "Error en l'enviament", then the mail component's reason when it gave one
// (a refused certificate, a server's refusal).
QString testSendFailure(const QString &reason)
{
    const QString failure = QStringLiteral("Error en l'enviament");
    return reason.isEmpty() ? failure : failure + QStringLiteral(":\n") + reason;
}

// The recipient controls stay off for as long as a run walks the rows, so
// that the rows it gathered are still the ones it marks.
class RecipientControlsOff
{
public:
    explicit RecipientControlsOff(CampaignView &view) : m_view(view) { m_view.setRecipientControlsEnabled(false); }
    ~RecipientControlsOff() { m_view.setRecipientControlsEnabled(true); }
    RecipientControlsOff(const RecipientControlsOff &) = delete;
    RecipientControlsOff &operator=(const RecipientControlsOff &) = delete;

private:
    CampaignView &m_view;
};

// What became of each member of a sent group: a refused address fails on its
// own, the others share the message's outcome. The component's own words
// are given in Catalan; a server's reply, as the server wrote it.
QList<RowOutcome> outcomesOf(const QList<int> &rows, const QStringList &addresses, const SendOutcome &result)
{
    QHash<QString, QString> refusals;
    for (const RefusedRecipient &refused : result.refused)
        refusals.insert(addressKey(refused.address), oneLine(inCatalan(refused.reply)));
    QList<RowOutcome> outcomes;
    outcomes.reserve(rows.size());
    const QString reply = oneLine(inCatalan(result.reply));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        RowOutcome outcome{rows[i], addresses[i], result.sent, result.stage, reply, result.messageId,
                           !result.sent && result.inDoubt};
        if (!refusals.isEmpty()) {
            const auto refusal = refusals.constFind(addressKey(addresses[i]));
            if (refusal != refusals.constEnd()) {
                outcome.sent = false;
                outcome.inDoubt = false;
                outcome.stage = SendStage::Recipient;
                outcome.reply = *refusal;
            }
        }
        if (!outcome.sent)
            outcome.messageId.clear();
        outcomes.append(std::move(outcome));
    }
    return outcomes;
}

// "a, b, c i 4 més": a list for a question, bounded.
QString someAddresses(const QList<InDoubtRow> &rows)
{
    constexpr qsizetype shown = 10;
    QStringList addresses;
    for (qsizetype i = 0; i < rows.size() && i < shown; ++i)
        addresses << rows[i].address;
    QString text = addresses.join(QStringLiteral(", "));
    if (rows.size() > shown)
        text += QStringLiteral(" i %1 més").arg(rows.size() - shown);
    return text;
}

QString inDoubtQuestion(const QList<InDoubtRow> &rows)
{
    if (rows.size() == 1) {
        return QStringLiteral("Un destinatari és en dubte: el servidor no va confirmar que hagués rebut el missatge, que "
                              "potser li va arribar: %1. Vols tornar-li a enviar?")
            .arg(someAddresses(rows));
    }
    return QStringLiteral("%1 destinataris són en dubte: el servidor no va confirmar que hagués rebut el missatge, que "
                          "potser els va arribar: %2. Vols tornar-los a enviar?")
        .arg(rows.size())
        .arg(someAddresses(rows));
}

QString confirmationQuestion(qint64 rows, long long groupSize, qint64 sparedByJournal)
{
    const qint64 size = std::max(1LL, groupSize);
    const qint64 messages = (rows + size - 1) / size;
    const QString sending = QStringLiteral("%1 %2 a %3")
                                .arg(messages == 1 ? QStringLiteral("S'enviarà") : QStringLiteral("S'enviaran"),
                                     countedText(messages, QStringLiteral("missatge"), QStringLiteral("missatges")),
                                     countedText(rows, QStringLiteral("destinatari"), QStringLiteral("destinataris")));
    if (sparedByJournal == 0)
        return sending + QStringLiteral(". Vols continuar?");
    return QStringLiteral("%1 (%2 segons el registre). Vols continuar?")
        .arg(sending, countedText(sparedByJournal, QStringLiteral("ja enviat"), QStringLiteral("ja enviats")));
}

} // namespace

bool countsTowardsStop(const SendOutcome &outcome)
{
    if (outcome.sent || outcome.stage == SendStage::Validation)
        return false;
    const bool codedRefusal = outcome.replyCode && *outcome.replyCode != 421;
    return !outcome.senderAccepted || !codedRefusal;
}

QString countsText(const RunCounts &counts)
{
    return QStringLiteral("%1/%2/%3").arg(counts.processed).arg(counts.sent).arg(counts.total);
}

QString endOfRunHeadline(const RunCounts &counts)
{
    return counts.stoppedOnRequest ? stoppedMessage : finishedMessage;
}

QString endOfRunCounts(const RunCounts &counts)
{
    const QString text = QStringLiteral("Registres processats %1 de %2: %3, %4")
                             .arg(counts.processed)
                             .arg(counts.total)
                             .arg(countedText(counts.sent, QStringLiteral("enviat"), QStringLiteral("enviats")),
                                  countedText(counts.failed, QStringLiteral("no enviat"), QStringLiteral("no enviats")));
    return counts.inDoubt == 0 ? text : text + QStringLiteral(", %1 en dubte").arg(counts.inDoubt);
}

struct CampaignRun::Group {
    QList<int> rows;           // the grid rows of the valid addresses
    QStringList addresses;     // those addresses, as the source gave them
    QList<RowOutcome> refused; // rows whose address is no address
    qint64 leftInDoubt = 0;    // rows in doubt, not sent again
    qint64 rowsRead = 0;       // rows stepped past while gathering, members or not
};

struct CampaignRun::RunState {
    RunCounts counts;
    qint64 walked = 0; // rows gathered so far
    SendJournal journal;
    // The group whose rows are on their way to the disk: its marks wait for them.
    struct Waiting {
        QList<RowOutcome> rows;
        qint64 rowsRead;
    };
    std::optional<Waiting> waiting;
    std::map<SendStage, qint64> failedByStage;
    int unreachedInARow = 0;
    QString stopReason;
    bool journalFailed = false;
};

CampaignRun::CampaignRun(Campaign &campaign, InternetConnection &connection, MailFactory mailFactory,
                         QObject *parent)
    : QObject(parent)
    , m_campaign(campaign)
    , m_connection(connection)
    , m_mailFactory(std::move(mailFactory))
{
    timerEsperar.setSingleShot(true);
    // A coarse timer may fire up to 5% early; the pause is a minimum.
    timerEsperar.setTimerType(Qt::PreciseTimer);
    connect(&timerEsperar, &QTimer::timeout, this, [this] { m_waitOver = true; });
}

CampaignRun::~CampaignRun() = default;

void CampaignRun::pressSend()
{
    const std::optional<QString> attachments = checkedAttachments();
    if (!attachments)
        return;
    switch (m_campaign.view().askYesNoCancel(QStringLiteral("Vols fer un enviament de prova abans de fer el definitiu?"))) {
    case Answer::Yes:
        testSend(*attachments);
        break;
    case Answer::No:
        if (placeholdersAccepted())
            runConfirmed(*attachments);
        break;
    case Answer::Cancel:
        break;
    }
}

void CampaignRun::pressTestSend()
{
    if (const std::optional<QString> attachments = checkedAttachments())
        testSend(*attachments);
}

std::optional<QString> CampaignRun::checkedAttachments()
{
    CampaignView &view = m_campaign.view();
    if (const std::optional<QString> refusal = refusalBeforeSending(m_campaign)) {
        view.showMessage(*refusal, MessageIcon::Error);
        return std::nullopt;
    }
    // Once for the test send or the run that follows, before either.
    if (passwordTravelsUnencrypted(m_campaign.settings()) && !view.askYesNo(unencryptedPasswordQuestion, false))
        return std::nullopt;
    return BuildAttachmentList(m_campaign);
}

void CampaignRun::requestStop()
{
    m_campaign.setStopRequested(true);
    // A run stops after the message in flight; a test send is that message.
    if (m_testSending && m_poSendMail)
        m_poSendMail->AbortSend();
}

// What the recipients would read as written, said before they do.
bool CampaignRun::placeholdersAccepted()
{
    CampaignView &view = m_campaign.view();
    if (const QStringList unknown = unknownPlaceholders(m_campaign); !unknown.isEmpty()) {
        if (!view.askYesNo(unknownPlaceholdersQuestion(unknown), false))
            return false;
    }
    if (const QStringList unmerged = unmergedPlaceholders(m_campaign); !unmerged.isEmpty())
        return view.askYesNo(unmergedPlaceholdersQuestion(unmerged), false);
    return true;
}

void CampaignRun::runConfirmed(const QString &attachments)
{
    CampaignView &view = m_campaign.view();
    if (!projectSavedForRun())
        return;
    // A saved project is sent by one run at a time, here or in tramelo-run.
    // Where no lock file can be made, no runner can start (nor save) either.
    ProjectLock lock;
    if (!m_campaign.projectPath().isEmpty()) {
        const std::optional<ProjectLock::Failure> failure = lock.acquire(m_campaign.projectPath());
        if (failure && failure->heldByAnotherRun) {
            view.showMessage(failure->reason, MessageIcon::Error);
            return;
        }
    }
    std::optional<JournalReading> journal = journalForRun();
    if (!journal)
        return;
    // The journal decides who has been sent, whatever the grid showed.
    const JournalMarks marks = markRowsFromJournal(m_campaign, *journal);
    if (marks.failed)
        return;
    Start start{attachments, std::move(*journal), false};
    if (!marks.inDoubt.isEmpty())
        start.resendInDoubt = view.askYesNo(inDoubtQuestion(marks.inDoubt), false);
    const qint64 rows = rowsToSend(m_campaign.grid(), start.resendInDoubt);
    if (rows == 0) {
        view.showMessage(nothingToSendMessage, MessageIcon::Information);
        return;
    }
    if (view.askYesNo(confirmationQuestion(rows, groupSizeOf(m_campaign.settings()), marks.rows), false))
        run(start);
}

// The campaign's journal, read once for the run; a journal of another
// campaign may be set aside for a new one. Nothing when the run cannot go
// on, after a message.
std::optional<JournalReading> CampaignRun::journalForRun()
{
    CampaignView &view = m_campaign.view();
    if (const std::optional<QString> failure = giveCampaignIdentity(m_campaign)) {
        view.showMessage(*failure, MessageIcon::Error);
        return std::nullopt;
    }
    JournalReading journal = readCampaignJournal(m_campaign);
    if (journal.status != JournalReading::Status::Foreign) {
        if (const std::optional<QString> refusal = journalRefusal(journal, m_campaign)) {
            view.showMessage(*refusal, MessageIcon::Error);
            return std::nullopt;
        }
        return journal;
    }
    const QString aside = setAsideNameFor(journal.path);
    if (!view.askYesNo(foreignJournalQuestion(journal, aside), false))
        return std::nullopt;
    if (const std::optional<QString> failure = setJournalAside(journal.path, aside)) {
        view.showMessage(*failure, MessageIcon::Error);
        return std::nullopt;
    }
    JournalReading fresh;
    fresh.path = journal.path;
    return fresh;
}

// The journal of a definitive run lives beside the project file, so a
// campaign gets one before its first run.
bool CampaignRun::projectSavedForRun()
{
    if (!m_campaign.projectPath().isEmpty())
        return true;
    CampaignView &view = m_campaign.view();
    view.showMessage(QStringLiteral("Abans de l'enviament definitiu cal gravar el projecte: el registre "
                                    "d'enviaments es desa al seu costat."),
                     MessageIcon::Information);
    const QString path = view.chooseProjectFileToSave();
    return !path.isEmpty() && SaveProject(m_campaign, path);
}

void CampaignRun::replaceMailComponent()
{
    m_poSendMail = m_mailFactory ? m_mailFactory() : std::make_unique<clsEnviarCorreu>();
    CampaignView &view = m_campaign.view();
    clsEnviarCorreu *mail = m_poSendMail.get();
    connect(mail, &clsEnviarCorreu::Progress, this, [this, &view](int percent) {
        view.setMessageProgress(percent);
        // A long message shows the last group's marks once they are durable.
        if (m_runState && m_runState->journal.madeDurable())
            showDurableMarks(*m_runState);
        // No pass of the event loop here: the component's next wait makes
        // one at once, and one made here would read the very reply that
        // wait is for, which would then sleep its whole 10 ms for nothing.
    });
    // The server takes a message at its end of data: never while the last
    // group's rows are not on the disk, so that a crash, or a power failure,
    // can cost at most the group in flight.
    connect(mail, &clsEnviarCorreu::AboutToEndData, this, [this] {
        if (m_runState)
            showDurableMarks(*m_runState);
    });
    connect(mail, &clsEnviarCorreu::SendSuccesful, this, [&view] { view.setMessageProgress(100); });
    connect(mail, &clsEnviarCorreu::SendFailed, this, [&view] { view.setMessageProgress(0); });
}

void CampaignRun::beginSending()
{
    m_campaign.view().setBusy(true);
    m_campaign.setRunning(true);
    m_campaign.view().setRunButtonsEnabled(false);
}

void CampaignRun::endSending()
{
    m_campaign.view().setBusy(false);
    m_campaign.view().setRunButtonsEnabled(true);
    m_campaign.setRunning(false);
}

void CampaignRun::testSend(const QString &attachments)
{
    const QString testAddress = trimBlanks(m_testAddress);
    if (!testAddress.isEmpty() && !isValidEmailAddress(testAddress)) {
        m_campaign.view().showMessage(QStringLiteral("L'adreça per a la prova no és vàlida: ") + testAddress,
                                      MessageIcon::Error);
        return;
    }
    const RunSettings settings = takeRunSettings(m_campaign, attachments);
    beginSending();
    replaceMailComponent();
    OutgoingMessage message{testAddress.isEmpty() ? settings.senderAddress : testAddress, QString(), settings.subject,
                            settings.body, attachments};
    // Always to one address: only what a recipient would read comes from the row.
    if (const std::optional<OutgoingMessage> rowMessage = messageForRow(m_campaign, m_testSendRow, attachments)) {
        message.subject = rowMessage->subject;
        message.body = rowMessage->body;
    }
    m_testSending = true;
    const SendOutcome outcome = SendOneMessage(m_campaign.view(), settings, *m_poSendMail, m_connection, message);
    m_testSending = false;
    endSending();
    if (outcome.sent)
        m_campaign.view().showMessage(finishedMessage, MessageIcon::Information);
    else
        m_campaign.view().showMessage(testSendFailure(inCatalan(outcome.reply).trimmed()), MessageIcon::Error);
}

void CampaignRun::run(const Start &start)
{
    CampaignView &view = m_campaign.view();
    // A run may only go by a journal of its own campaign.
    if (const std::optional<QString> refusal = journalRefusal(start.journal, m_campaign)) {
        view.showMessage(*refusal, MessageIcon::Error);
        return;
    }
    if (const std::optional<QString> failure = giveCampaignIdentity(m_campaign)) {
        view.showMessage(*failure, MessageIcon::Error);
        return;
    }
    const RunSettings settings = takeRunSettings(m_campaign, start.attachments);
    beginSending();
    const RecipientControlsOff recipientControlsOff(view);
    view.showRunProgress();

    RunState state;
    const QScopedValueRollback activeRun(m_runState, &state);
    if (!m_campaign.projectPath().isEmpty()) {
        if (const std::optional<QString> failure =
                state.journal.open(SendJournal::pathFor(m_campaign.projectPath()), m_campaign.campaignId())) {
            endSending();
            view.showMessage(*failure, MessageIcon::Error);
            return;
        }
    }
    const CampaignSettings &live = m_campaign.settings();
    const QString query =
        live.sourceKind() == SourceKind::Table ? tableStatement(live) : live.text(Setting::SqlStatement);
    QString error;
    std::unique_ptr<RecordSnapshot> records = OpenRecipientRows(m_campaign, query, error);
    if (!records) {
        endSending();
        view.showMessage(error, MessageIcon::Error);
        return;
    }
    if (!checkSourceMatchesGrid(*records, settings)) {
        endSending();
        view.showMessage(QStringLiteral("Els destinataris han canviat des que es van carregar: torna a triar el camp adreça"),
                         MessageIcon::Error);
        return;
    }

    state.counts.total = records->recordCount();
    view.setTotalProgress(0, state.counts.total);
    view.setCounts(QStringLiteral("0/") + QString::number(state.counts.total));
    m_campaign.setStopRequested(false);
    replaceMailComponent();
    // The run's messages share SMTP sessions: the component opens a new one
    // when the server ends the last, and after a session's quota of messages.
    m_poSendMail->setKeepConnection(true);

    while (!records->atEnd() && !m_campaign.stopRequested() && state.stopReason.isEmpty()) {
        const Group group = gatherGroup(*records, state.walked, settings, start);
        state.walked += group.rowsRead;
        state.counts.inDoubt += group.leftInDoubt;
        QList<RowOutcome> outcomes = group.refused;
        if (!group.rows.isEmpty()) {
            // The previous group's rows reach the disk meanwhile: this
            // message waits for them before its end of data.
            const SendOutcome result = sendGroup(*records, group, settings);
            outcomes += outcomesOf(group.rows, group.addresses, result);
            noteReachability(state, result);
        }
        showDurableMarks(state);
        record(state, std::move(outcomes), group.rowsRead);

        const bool rowsRemain = state.counts.total > state.walked;
        if (!rowsRemain || settings.waitMilliseconds > 0)
            showDurableMarks(state);
        view.processEvents();
        if (rowsRemain)
            pauseBetweenSendings(settings.waitMilliseconds);
    }
    m_poSendMail->Disconnect();
    // Streamed rows can still fail to be read after the run has started.
    if (!records->readFailure().isEmpty() && state.stopReason.isEmpty())
        state.stopReason = records->readFailure() + QStringLiteral(". L'enviament s'ha aturat.");
    showDurableMarks(state);

    records.reset();
    endSending();
    state.counts.stoppedOnFault = !state.stopReason.isEmpty();
    state.counts.stoppedOnRequest =
        !state.counts.stoppedOnFault && m_campaign.stopRequested() && state.counts.processed < state.counts.total;
    Q_EMIT runFinished(state.counts);
    showEndOfRun(state);
}

bool CampaignRun::checkSourceMatchesGrid(const RecordSnapshot &records, const RunSettings &settings)
{
    // Rows are addressed by position: a source that changed since the grid was
    // filled would mark the wrong recipients.
    return records.recordCount() == m_campaign.grid().dataRowCount() && records.fieldIndex(settings.addressField) >= 0;
}

// The rows of the next group: each not sent yet, by the grid's mark or by the
// journal's record of its address, and not in doubt unless it goes again.
CampaignRun::Group CampaignRun::gatherGroup(RecordSnapshot &records, qint64 walked, const RunSettings &settings,
                                            const Start &start)
{
    RecipientGrid &grid = m_campaign.grid();
    const JournalReading &journal = start.journal;
    Group group;
    while (!records.atEnd() && group.rows.size() < settings.groupSize) {
        const int row = int(walked + 1 + group.rowsRead);
        ++group.rowsRead;
        const bool sentBefore = grid.showsSent(row);
        const RecordSnapshot::Value address = sentBefore ? std::nullopt : records.value(settings.addressField);
        records.moveNext();
        if (sentBefore)
            continue;
        const QString key = address ? addressKey(*address) : QString();
        const auto doubt = journal.inDoubt.constFind(key);
        if (address && journal.sentAddresses.contains(key)) {
            grid.markSent(row);
        } else if (address && doubt != journal.inDoubt.constEnd() && !start.resendInDoubt) {
            grid.markInDoubt(row, *doubt);
            ++group.leftInDoubt;
        } else if (address && m_poSendMail->IsValidEmailAddress(*address)) {
            grid.clearMarkCell(row);
            group.rows.append(row);
            group.addresses.append(*address);
        } else {
            RowOutcome refused{row, address.value_or(QString()), false, SendStage::Validation, invalidAddressText, {}};
            grid.markFailed(row, failureReason(refused), refused.reply);
            group.refused.append(std::move(refused));
        }
    }
    return group;
}

SendOutcome CampaignRun::sendGroup(RecordSnapshot &records, const Group &group, const RunSettings &settings)
{
    // A group of one merges the record just gathered.
    if (settings.groupSize == 1)
        records.movePrevious();
    const OutgoingMessage message = groupMessage(settings, records, group.addresses);
    if (settings.groupSize == 1)
        records.moveNext();
    Q_EMIT sendingTo(group.rows.first(), group.addresses);
    return SendOneMessage(m_campaign.view(), settings, *m_poSendMail, m_connection, message);
}

// The group's rows go to the journal in one write and on to the disk in one
// sync, which runs while the next group is gathered and sent; its marks
// wait for it.
void CampaignRun::record(RunState &state, QList<RowOutcome> outcomes, qint64 rowsRead)
{
    std::sort(outcomes.begin(), outcomes.end(), [](const RowOutcome &a, const RowOutcome &b) { return a.row < b.row; });
    if (state.journal.isOpen() && !state.journalFailed) {
        if (const std::optional<QString> failure = state.journal.append(outcomes))
            stopForJournal(state, *failure);
        else
            state.journal.startMakingDurable();
    }
    state.waiting = RunState::Waiting{std::move(outcomes), rowsRead};
}

void CampaignRun::noteReachability(RunState &state, const SendOutcome &result)
{
    if (!countsTowardsStop(result)) {
        // A refusal before anything was sent says nothing of the server.
        if (result.sent || result.stage != SendStage::Validation)
            state.unreachedInARow = 0;
        return;
    }
    if (++state.unreachedInARow < maxUnreachedInARow || !state.stopReason.isEmpty())
        return;
    const RowOutcome last{0, {}, false, result.stage, oneLine(inCatalan(result.reply)), {}};
    state.stopReason = QStringLiteral("L'enviament s'ha aturat: %1 missatges seguits han fallat sense una resposta "
                                      "clara del servidor. Darrer motiu: %2")
                           .arg(maxUnreachedInARow)
                           .arg(failureReason(last));
}

void CampaignRun::stopForJournal(RunState &state, const QString &failure)
{
    // A run that cannot keep its record must not go on sending.
    state.journalFailed = true;
    if (state.stopReason.isEmpty())
        state.stopReason = failure + QStringLiteral(". L'enviament s'ha aturat.");
}

// Waits for the last group's rows to be on the disk, then shows its marks.
void CampaignRun::showDurableMarks(RunState &state)
{
    if (!state.waiting)
        return;
    if (state.journal.isMakingDurable()) {
        if (const std::optional<QString> failure = state.journal.finishMakingDurable())
            stopForJournal(state, *failure);
    }
    // What the server accepted is shown even when the disk failed: the run
    // stops, and the marks are all that is left of it.
    const RunState::Waiting waiting = *std::exchange(state.waiting, std::nullopt);
    markRows(state, waiting.rows, waiting.rowsRead);
}

// Exactly the rows gathered, whatever their cells show by now.
void CampaignRun::markRows(RunState &state, const QList<RowOutcome> &rows, qint64 rowsRead)
{
    RecipientGrid &grid = m_campaign.grid();
    for (const RowOutcome &row : rows) {
        if (row.sent) {
            grid.markSent(row.row, row.reply);
            ++state.counts.sent;
        } else if (row.inDoubt) {
            grid.markInDoubt(row.row, failureReason(row), row.reply);
            ++state.counts.inDoubt;
        } else {
            grid.markFailed(row.row, failureReason(row), row.reply);
            ++state.counts.failed;
            ++state.failedByStage[row.stage];
        }
    }
    state.counts.processed += rowsRead;
    m_campaign.view().setTotalProgress(state.counts.processed, state.counts.total);
    m_campaign.view().setCounts(countsText(state.counts));
    Q_EMIT rowsMarked(rows);
    Q_EMIT groupMarked(state.counts);
    m_campaign.setDirty(true);
}

// How the run ended, why it stopped by itself, the counts, and the rows not
// sent by stage; the error icon when nothing at all was sent or the run
// stopped on a fault.
void CampaignRun::showEndOfRun(const RunState &state)
{
    QStringList lines{endOfRunHeadline(state.counts)};
    if (!state.stopReason.isEmpty())
        lines << state.stopReason;
    lines << endOfRunCounts(state.counts);
    for (const auto &[stage, count] : state.failedByStage)
        lines << QStringLiteral("%1: %2").arg(stageText(stage)).arg(count);
    const bool nothingSent = state.counts.sent == 0 && state.counts.failed + state.counts.inDoubt > 0;
    m_campaign.view().showMessage(lines.join(u'\n'),
                                  nothingSent || state.counts.stoppedOnFault ? MessageIcon::Error : MessageIcon::Information);
}

void CampaignRun::pauseBetweenSendings(long long milliseconds)
{
    if (milliseconds <= 0)
        return;
    timerEsperar.setInterval(int(milliseconds));
    m_waitOver = false;
    timerEsperar.start();
    Q_EMIT pauseStarted(milliseconds);
    // Sleeps between events: the window stays responsive and the processor
    // idle, and a stop request ends the pause at once.
    while (!m_waitOver && !m_campaign.stopRequested())
        m_campaign.view().waitForEvents();
    timerEsperar.stop();
    Q_EMIT pauseEnded();
}

} // namespace tramelo
