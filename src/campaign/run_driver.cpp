#include "run_driver.h"

#include "address_validation.h"
#include "body_preparation.h"
#include "campaign.h"
#include "campaign_numbers.h"
#include "campaign_validation.h"
#include "campaign_view.h"
#include "clsEnviarCorreu.h"
#include "connection_security.h"
#include "counted_text.h"
#include "plain_text.h"
#include "project_file.h"
#include "project_lock.h"
#include "project_paths.h"
#include "recipient_connection.h"
#include "recipient_grid.h"
#include "recipient_message.h"
#include "recipient_source.h"
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
// own, the others share the message's outcome.
QList<RowOutcome> outcomesOf(const QList<int> &rows, const QStringList &addresses, const SendOutcome &result)
{
    QHash<QString, QString> refusals;
    for (const RefusedRecipient &refused : result.refused)
        refusals.insert(addressKey(refused.address), oneLine(refused.reply));
    QList<RowOutcome> outcomes;
    outcomes.reserve(rows.size());
    const QString reply = oneLine(result.reply);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        RowOutcome outcome{rows[i], addresses[i], result.sent, result.stage, reply, result.messageId};
        if (!refusals.isEmpty()) {
            const auto refusal = refusals.constFind(addressKey(addresses[i]));
            if (refusal != refusals.constEnd()) {
                outcome.sent = false;
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

} // namespace

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
    return QStringLiteral("Registres processats %1 de %2: %3, %4")
        .arg(counts.processed)
        .arg(counts.total)
        .arg(countedText(counts.sent, QStringLiteral("enviat"), QStringLiteral("enviats")),
             countedText(counts.failed, QStringLiteral("no enviat"), QStringLiteral("no enviats")));
}

struct CampaignRun::Group {
    QList<int> rows;           // the grid rows of the valid addresses
    QStringList addresses;     // those addresses, as the source gave them
    QList<RowOutcome> refused; // rows whose address is no address
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
    if (const std::optional<QString> failure = validateCampaign(m_campaign.settings(), projectFolderOf(m_campaign))) {
        view.showMessage(*failure, MessageIcon::Error);
        return std::nullopt;
    }
    // Once for the test send or the run that follows, before either.
    if (passwordTravelsUnencrypted(m_campaign.settings()) && !view.askYesNo(unencryptedPasswordQuestion, false))
        return std::nullopt;
    return BuildAttachmentList(m_campaign);
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
    if (view.askYesNo(confirmationQuestion(), false))
        run(attachments);
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

// The rows still to send are those not marked "Si"; the run counts its
// messages by groups of them.
QString CampaignRun::confirmationQuestion() const
{
    const RecipientGrid &grid = m_campaign.grid();
    qint64 rows = 0;
    for (int row = 1; row <= grid.dataRowCount(); ++row)
        rows += grid.showsSent(row) ? 0 : 1;
    const qint64 groupSize = std::max(1LL, groupSizeOf(m_campaign.settings()));
    const qint64 messages = (rows + groupSize - 1) / groupSize;
    return QStringLiteral("%1 %2 a %3. Vols continuar?")
        .arg(messages == 1 ? QStringLiteral("S'enviarà") : QStringLiteral("S'enviaran"),
             countedText(messages, QStringLiteral("missatge"), QStringLiteral("missatges")),
             countedText(rows, QStringLiteral("destinatari"), QStringLiteral("destinataris")));
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
    const CampaignSettings &settings = m_campaign.settings();
    const QString testAddress = trimBlanks(m_testAddress);
    if (!testAddress.isEmpty() && !isValidEmailAddress(testAddress)) {
        m_campaign.view().showMessage(QStringLiteral("L'adreça per a la prova no és vàlida: ") + testAddress,
                                      MessageIcon::Error);
        return;
    }
    beginSending();
    replaceMailComponent();
    OutgoingMessage message{testAddress.isEmpty() ? settings.text(Setting::SenderAddress) : testAddress, QString(),
                            settings.text(Setting::MessageSubject), settings.text(Setting::BodyText), attachments};
    // Always to one address: only what a recipient would read comes from the row.
    if (const std::optional<OutgoingMessage> rowMessage = messageForRow(m_campaign, m_testSendRow, attachments)) {
        message.subject = rowMessage->subject;
        message.body = rowMessage->body;
    }
    const SendOutcome outcome = SendOneMessage(m_campaign, *m_poSendMail, m_connection, message);
    endSending();
    if (outcome.sent)
        m_campaign.view().showMessage(finishedMessage, MessageIcon::Information);
    else
        m_campaign.view().showMessage(testSendFailure(trimBlanks(outcome.reply)), MessageIcon::Error);
}

void CampaignRun::run(const QString &attachments)
{
    CampaignSettings &settings = m_campaign.settings();
    CampaignView &view = m_campaign.view();
    const long long groupSize = groupSizeOf(settings);
    beginSending();
    const RecipientControlsOff recipientControlsOff(view);
    view.showRunProgress();

    RunState state;
    const QScopedValueRollback activeRun(m_runState, &state);
    if (!m_campaign.projectPath().isEmpty()) {
        if (const std::optional<QString> failure = state.journal.open(SendJournal::pathFor(m_campaign.projectPath()))) {
            endSending();
            view.showMessage(*failure, MessageIcon::Error);
            return;
        }
    }
    const QString query =
        settings.sourceKind() == SourceKind::Table ? tableStatement(settings) : settings.text(Setting::SqlStatement);
    QString error;
    std::unique_ptr<RecordSnapshot> records = OpenRecipientRows(m_campaign, query, error);
    if (!records) {
        endSending();
        view.showMessage(error, MessageIcon::Error);
        return;
    }
    if (!checkSourceMatchesGrid(*records)) {
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
    // when the server ends the last, when the settings name another server
    // or login, and after a session's quota of messages.
    m_poSendMail->setKeepConnection(true);

    while (!records->atEnd() && !m_campaign.stopRequested() && state.stopReason.isEmpty()) {
        const Group group = gatherGroup(*records, state.walked, groupSize);
        state.walked += group.rowsRead;
        QList<RowOutcome> outcomes = group.refused;
        if (!group.rows.isEmpty()) {
            // The previous group's rows reach the disk meanwhile: this
            // message waits for them before its end of data.
            const SendOutcome result = sendGroup(*records, group, groupSize, attachments);
            outcomes += outcomesOf(group.rows, group.addresses, result);
            noteReachability(state, result);
        }
        showDurableMarks(state);
        record(state, std::move(outcomes), group.rowsRead);

        const bool rowsRemain = state.counts.total > state.walked;
        if (!rowsRemain || waitMillisecondsOf(settings) > 0)
            showDurableMarks(state);
        view.processEvents();
        if (rowsRemain)
            pauseBetweenSendings();
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

bool CampaignRun::checkSourceMatchesGrid(const RecordSnapshot &records)
{
    // Rows are addressed by position: a source that changed since the grid was
    // filled would mark the wrong recipients.
    const QString addressField = m_campaign.settings().text(Setting::AddressField);
    return records.recordCount() == m_campaign.grid().dataRowCount() && records.fieldIndex(addressField) >= 0;
}

CampaignRun::Group CampaignRun::gatherGroup(RecordSnapshot &records, qint64 walked, long long groupSize)
{
    RecipientGrid &grid = m_campaign.grid();
    const QString addressField = m_campaign.settings().text(Setting::AddressField);
    Group group;
    while (!records.atEnd() && group.rows.size() < groupSize) {
        const int row = int(walked + 1 + group.rowsRead);
        if (!grid.showsSent(row)) {
            grid.clearMarkCell(row);
            const RecordSnapshot::Value address = records.value(addressField);
            if (address && m_poSendMail->IsValidEmailAddress(*address)) {
                group.rows.append(row);
                group.addresses.append(*address);
            } else {
                RowOutcome refused{row, address.value_or(QString()), false, SendStage::Validation, invalidAddressText, {}};
                grid.markFailed(row, failureReason(refused), refused.reply);
                group.refused.append(std::move(refused));
            }
        }
        ++group.rowsRead;
        records.moveNext();
    }
    return group;
}

SendOutcome CampaignRun::sendGroup(RecordSnapshot &records, const Group &group, long long groupSize,
                                   const QString &attachments)
{
    // A group of one merges the record just gathered.
    if (groupSize == 1)
        records.movePrevious();
    const OutgoingMessage message = groupMessage(m_campaign.settings(), records, group.addresses, groupSize, attachments);
    if (groupSize == 1)
        records.moveNext();
    Q_EMIT sendingTo(group.rows.first(), group.addresses);
    return SendOneMessage(m_campaign, *m_poSendMail, m_connection, message);
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
    if (result.senderAccepted) {
        state.unreachedInARow = 0;
        return;
    }
    if (result.sent || result.stage == SendStage::Validation)
        return;
    if (++state.unreachedInARow < maxUnreachedInARow || !state.stopReason.isEmpty())
        return;
    const RowOutcome last{0, {}, false, result.stage, oneLine(result.reply), {}};
    state.stopReason = QStringLiteral("L'enviament s'ha aturat: %1 missatges seguits no han arribat al servidor. "
                                      "Darrer motiu: %2")
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
    const bool nothingSent = state.counts.sent == 0 && state.counts.failed > 0;
    m_campaign.view().showMessage(lines.join(u'\n'),
                                  nothingSent || state.counts.stoppedOnFault ? MessageIcon::Error : MessageIcon::Information);
}

void CampaignRun::pauseBetweenSendings()
{
    const long long milliseconds = waitMillisecondsOf(m_campaign.settings());
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
