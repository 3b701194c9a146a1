#include "run_driver.h"

#include "body_preparation.h"
#include "campaign.h"
#include "campaign_numbers.h"
#include "campaign_validation.h"
#include "campaign_view.h"
#include "clsEnviarCorreu.h"
#include "merge_fields.h"
#include "recipient_connection.h"
#include "recipient_grid.h"
#include "send_one_message.h"

namespace tramelo {
namespace {

const QString finishedMessage = QStringLiteral("Enviament finalitzat");

QString countsText(const RunCounts &counts)
{
    return QStringLiteral("%1/%2/%3").arg(counts.processed).arg(counts.sent).arg(counts.total);
}

} // namespace

struct CampaignRun::Group {
    QString recipients; // valid addresses, each followed by ";"
    long long members = 0;
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
    const QString attachments = BuildAttachmentList(m_campaign);
    if (view.askYesNo(QStringLiteral("Vols fer un enviament de prova abans de fer el definitiu?"), true))
        testSend(attachments);
    else
        run(attachments);
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
    beginSending();
    replaceMailComponent();
    const OutgoingMessage message{settings.text(Setting::SenderAddress), QString(),
                                  settings.text(Setting::MessageSubject), settings.text(Setting::BodyText),
                                  attachments};
    const bool sent = SendOneMessage(m_campaign, *m_poSendMail, m_connection, message);
    endSending();
    if (sent)
        m_campaign.view().showMessage(finishedMessage, MessageIcon::Information);
    else
        m_campaign.view().showMessage(QStringLiteral("Error en l'enviament"), MessageIcon::Error);
}

void CampaignRun::run(const QString &attachments)
{
    CampaignSettings &settings = m_campaign.settings();
    CampaignView &view = m_campaign.view();
    const long long groupSize = groupSizeOf(settings);
    beginSending();
    view.showRunProgress();

    const QString query = settings.sourceKind() == SourceKind::Table
        ? QStringLiteral("Select * From ") + settings.text(Setting::TableQuoteLeft) + settings.text(Setting::TableName)
            + settings.text(Setting::TableQuoteRight)
        : settings.text(Setting::SqlStatement);
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
        markGroup(success, groupSize, counts);
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
    qint64 rowsRead = 0;
    while (!records.atEnd() && group.members < groupSize) {
        const int row = int(processed + 1 + rowsRead);
        if (grid.markText(row) != QLatin1String("Si")) {
            grid.clearMarkCell(row);
            const RecordSnapshot::Value address = records.value(addressField);
            if (address && m_poSendMail->IsValidEmailAddress(*address)) {
                group.recipients += *address + u';';
                ++group.members;
            } else {
                grid.markFailed(row);
            }
        }
        ++rowsRead;
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

void CampaignRun::markGroup(bool success, long long groupSize, RunCounts &counts)
{
    RecipientGrid &grid = m_campaign.grid();
    CampaignView &view = m_campaign.view();
    long long marked = 0;
    while (marked < groupSize && counts.total > counts.processed) {
        const int row = int(++counts.processed);
        // Rows already sent or refused at gathering are stepped over uncounted.
        if (isBlank(grid.markText(row))) {
            if (success) {
                grid.markSent(row);
                ++counts.sent;
            } else {
                grid.markFailed(row);
            }
            ++marked;
        }
        view.setTotalProgress(counts.processed, counts.total);
        view.setCounts(countsText(counts));
    }
}

void CampaignRun::pauseBetweenSendings()
{
    const long long milliseconds = waitMillisecondsOf(m_campaign.settings());
    if (milliseconds <= 0)
        return;
    timerEsperar.setInterval(int(milliseconds));
    m_waitOver = false;
    timerEsperar.start();
    // Sleeps between events: the window stays responsive and the processor idle.
    while (!m_waitOver)
        m_campaign.view().waitForEvents();
}

} // namespace tramelo
