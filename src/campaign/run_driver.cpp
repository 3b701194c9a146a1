#include "run_driver.h"

#include "body_preparation.h"
#include "campaign.h"
#include "campaign_numbers.h"
#include "campaign_validation.h"
#include "campaign_view.h"
#include "clsEnviarCorreu.h"
#include "connection_security.h"
#include "merge_fields.h"
#include "plain_text.h"
#include "project_lock.h"
#include "recipient_connection.h"
#include "recipient_grid.h"
#include "recipient_source.h"
#include "send_one_message.h"

#include <algorithm>

namespace tramelo {
namespace {

const QString finishedMessage = QStringLiteral("Enviament finalitzat");

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

} // namespace

QString countsText(const RunCounts &counts)
{
    return QStringLiteral("%1/%2/%3").arg(counts.processed).arg(counts.sent).arg(counts.total);
}

struct CampaignRun::Group {
    QString recipients; // valid addresses, each followed by ";"
    QList<int> rows;    // the grid rows of those addresses, marked with the outcome
    qint64 rowsRead = 0; // rows stepped past while gathering, members or not
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
    CampaignView &view = m_campaign.view();
    if (const std::optional<QString> failure = validateCampaign(m_campaign.settings())) {
        view.showMessage(*failure, MessageIcon::Error);
        return;
    }
    // Once for the test send or the run that follows, before either.
    if (passwordTravelsUnencrypted(m_campaign.settings()) && !view.askYesNo(unencryptedPasswordQuestion, false))
        return;
    const QString attachments = BuildAttachmentList(m_campaign);
    switch (view.askYesNoCancel(QStringLiteral("Vols fer un enviament de prova abans de fer el definitiu?"))) {
    case Answer::Yes:
        testSend(attachments);
        break;
    case Answer::No:
        runConfirmed(attachments);
        break;
    case Answer::Cancel:
        break;
    }
}

void CampaignRun::runConfirmed(const QString &attachments)
{
    CampaignView &view = m_campaign.view();
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
    return QStringLiteral("S'enviaran %1 missatges a %2 destinataris. Vols continuar?").arg(messages).arg(rows);
}

void CampaignRun::replaceMailComponent()
{
    m_poSendMail = m_mailFactory ? m_mailFactory() : std::make_unique<clsEnviarCorreu>();
    CampaignView &view = m_campaign.view();
    clsEnviarCorreu *mail = m_poSendMail.get();
    connect(mail, &clsEnviarCorreu::Progress, this, [&view](int percent) {
        view.setMessageProgress(percent);
        view.processEvents();
    });
    connect(mail, &clsEnviarCorreu::SendSuccesful, this, [&view] { view.setMessageProgress(100); });
    connect(mail, &clsEnviarCorreu::SendFailed, this, [this, &view](const QString &explanation) {
        view.setMessageProgress(0);
        if (m_messageFailure.isEmpty())
            m_messageFailure = trimBlanks(explanation);
        Q_EMIT messageFailed(explanation);
    });
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
    beginSending();
    replaceMailComponent();
    const OutgoingMessage message{settings.text(Setting::SenderAddress), QString(),
                                  settings.text(Setting::MessageSubject), settings.text(Setting::BodyText),
                                  attachments};
    m_messageFailure.clear();
    const bool sent = SendOneMessage(m_campaign, *m_poSendMail, m_connection, message);
    endSending();
    if (sent)
        m_campaign.view().showMessage(finishedMessage, MessageIcon::Information);
    else
        m_campaign.view().showMessage(testSendFailure(m_messageFailure), MessageIcon::Error);
}

void CampaignRun::run(const QString &attachments)
{
    CampaignSettings &settings = m_campaign.settings();
    CampaignView &view = m_campaign.view();
    const long long groupSize = groupSizeOf(settings);
    beginSending();
    const RecipientControlsOff recipientControlsOff(view);
    view.showRunProgress();

    const QString query =
        settings.sourceKind() == SourceKind::Table ? tableStatement(settings) : settings.text(Setting::SqlStatement);
    QString error;
    std::unique_ptr<RecordSnapshot> records = m_campaign.connection().openSnapshot(query, error);
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

    RunCounts counts{0, 0, records->recordCount()};
    view.setTotalProgress(0, counts.total);
    view.setCounts(QStringLiteral("0/") + QString::number(counts.total));
    m_campaign.setStopRequested(false);
    replaceMailComponent();

    while (!records->atEnd() && !m_campaign.stopRequested()) {
        const Group group = gatherGroup(*records, counts.processed, groupSize);
        const bool success = sendGroup(*records, group, groupSize, attachments);
        markGroup(group, success, counts);
        view.processEvents();
        Q_EMIT groupMarked(counts);
        if (counts.total > counts.processed)
            pauseBetweenSendings();
        m_campaign.setDirty(true);
    }

    records.reset();
    endSending();
    Q_EMIT runFinished(counts);
    view.showMessage(finishedMessage, MessageIcon::Information);
}

bool CampaignRun::checkSourceMatchesGrid(const RecordSnapshot &records)
{
    // Rows are addressed by position: a source that changed since the grid was
    // filled would mark the wrong recipients.
    const QString addressField = m_campaign.settings().text(Setting::AddressField);
    return records.recordCount() == m_campaign.grid().dataRowCount() && records.fieldIndex(addressField) >= 0;
}

CampaignRun::Group CampaignRun::gatherGroup(RecordSnapshot &records, qint64 processed, long long groupSize)
{
    RecipientGrid &grid = m_campaign.grid();
    const QString addressField = m_campaign.settings().text(Setting::AddressField);
    Group group;
    while (!records.atEnd() && group.rows.size() < groupSize) {
        const int row = int(processed + 1 + group.rowsRead);
        if (!grid.showsSent(row)) {
            grid.clearMarkCell(row);
            const RecordSnapshot::Value address = records.value(addressField);
            if (address && m_poSendMail->IsValidEmailAddress(*address)) {
                group.recipients += *address + u';';
                group.rows.append(row);
            } else {
                grid.markFailed(row);
            }
        }
        ++group.rowsRead;
        records.moveNext();
    }
    return group;
}

bool CampaignRun::sendGroup(RecordSnapshot &records, const Group &group, long long groupSize,
                            const QString &attachments)
{
    if (isBlank(group.recipients))
        return false;
    const CampaignSettings &settings = m_campaign.settings();
    const QString addresses = group.recipients.chopped(1);
    OutgoingMessage message;
    message.attachments = attachments;
    if (groupSize == 1) {
        // The record just gathered is the one to merge.
        records.movePrevious();
        message.to = addresses;
        message.subject = MergeFields(settings.text(Setting::MessageSubject), records, settings);
        message.body = MergeFields(settings.text(Setting::BodyText), records, settings);
        records.moveNext();
    } else {
        message.bcc = addresses;
        message.subject = settings.text(Setting::MessageSubject);
        message.body = settings.text(Setting::BodyText);
    }
    return SendOneMessage(m_campaign, *m_poSendMail, m_connection, message);
}

// Exactly the rows gathered, whatever their cells show by now.
void CampaignRun::markGroup(const Group &group, bool success, RunCounts &counts)
{
    RecipientGrid &grid = m_campaign.grid();
    for (const int row : group.rows) {
        if (success) {
            grid.markSent(row);
            ++counts.sent;
        } else {
            grid.markFailed(row);
        }
    }
    counts.processed += group.rowsRead;
    m_campaign.view().setTotalProgress(counts.processed, counts.total);
    m_campaign.view().setCounts(countsText(counts));
}

void CampaignRun::pauseBetweenSendings()
{
    const long long milliseconds = waitMillisecondsOf(m_campaign.settings());
    if (milliseconds <= 0)
        return;
    timerEsperar.setInterval(int(milliseconds));
    m_waitOver = false;
    timerEsperar.start();
    // Sleeps between events: the window stays responsive and the processor
    // idle, and a stop request ends the pause at once.
    while (!m_waitOver && !m_campaign.stopRequested())
        m_campaign.view().waitForEvents();
    timerEsperar.stop();
}

} // namespace tramelo
