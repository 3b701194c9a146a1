#include "campaign_identity.h"

#include "campaign.h"
#include "file_sync.h"
#include "plain_text.h"
#include "project_file.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <unistd.h>

namespace tramelo {
namespace {

// More names than any folder holds for one journal's day.
constexpr int maxSetAsideNames = 1000;

bool belongs(const JournalReading &journal, const QString &campaignId)
{
    return campaignId.isEmpty() ? journal.campaigns.isEmpty() : journal.campaigns == QStringList{campaignId};
}

// "no diu de quina campanya és", or "és d'una altra campanya (ID)".
QString whoseText(const JournalReading &journal)
{
    return journal.campaigns.isEmpty()
        ? QStringLiteral("no diu de quina campanya és")
        : QStringLiteral("és d'una altra campanya (%1)").arg(journal.campaigns.join(QStringLiteral(", ")));
}

} // namespace

QString newCampaignId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

JournalReading readCampaignJournal(const Campaign &campaign)
{
    JournalReading journal = readJournal(SendJournal::pathFor(campaign.projectPath()));
    if (journal.status != JournalReading::Status::Read || belongs(journal, campaign.campaignId()))
        return journal;
    journal.status = JournalReading::Status::Foreign;
    journal.reason = whoseText(journal);
    journal.sentAddresses.clear();
    journal.inDoubt.clear();
    return journal;
}

std::optional<QString> adoptJournal(const QString &projectPath, const QString &campaignId)
{
    const QString path = SendJournal::pathFor(projectPath);
    const JournalReading journal = readJournal(path);
    if (journal.status != JournalReading::Status::Read || !journal.campaigns.isEmpty())
        return std::nullopt;
    return SendJournal::recordCampaign(path, campaignId);
}

std::optional<QString> giveCampaignIdentity(Campaign &campaign)
{
    if (!campaign.campaignId().isEmpty())
        return std::nullopt;
    const QString id = newCampaignId();
    const QString project = campaign.projectPath();
    if (!project.isEmpty()) {
        // The project first: a journal naming a campaign its project does not
        // name would be refused.
        if (QFileInfo::exists(project)) {
            if (std::optional<QString> failure = recordCampaignInProject(project, id))
                return failure;
        }
        if (std::optional<QString> failure = adoptJournal(project, id))
            return failure;
    }
    campaign.setCampaignId(id);
    return std::nullopt;
}

QString setAsideNameFor(const QString &journalPath)
{
    static const QString suffix = QStringLiteral(".csv");
    const QString stem = journalPath.endsWith(suffix) ? journalPath.chopped(suffix.size()) : journalPath;
    const QString date = QFileInfo(journalPath).lastModified().toString(QStringLiteral("yyyy-MM-dd"));
    QString name = QStringLiteral("%1.%2%3").arg(stem, date, suffix);
    for (int n = 2; QFileInfo::exists(name) && n <= maxSetAsideNames; ++n)
        name = QStringLiteral("%1.%2-%3%4").arg(stem, date).arg(n).arg(suffix);
    return name;
}

std::optional<QString> setJournalAside(const QString &journalPath, const QString &asideName)
{
    // A link never replaces a file that exists; the journal's own name then goes.
    const QByteArray from = QFile::encodeName(journalPath);
    if (::link(from.constData(), QFile::encodeName(asideName).constData()) != 0 || ::unlink(from.constData()) != 0) {
        return QStringLiteral("No s'ha pogut canviar el nom del registre d'enviaments %1 a %2: %3")
            .arg(journalPath, asideName, systemErrorText());
    }
    syncFolderOf(journalPath);
    return std::nullopt;
}

QString foreignJournalQuestion(const JournalReading &journal, const QString &asideName)
{
    return QStringLiteral("El registre d'enviaments %1 %2: no diu qui ha rebut aquesta campanya, i no es farà servir "
                          "per deixar ningú de banda. Vols començar un registre nou? L'actual es conservarà com a %3.")
        .arg(journal.path, whoseText(journal), asideName);
}

std::optional<QString> journalRefusal(const JournalReading &journal, const Campaign &campaign)
{
    if (journal.status == JournalReading::Status::Unreadable) {
        return QStringLiteral("No es pot començar l'enviament. No s'ha pogut llegir el registre d'enviaments %1: %2")
            .arg(journal.path, journal.reason);
    }
    if (journal.status != JournalReading::Status::Foreign)
        return std::nullopt;
    const QString project = campaign.campaignId().isEmpty()
        ? QStringLiteral("el projecte %1 no diu de quina campanya és").arg(campaign.projectPath())
        : QStringLiteral("el projecte %1 és la campanya %2").arg(campaign.projectPath(), campaign.campaignId());
    return QStringLiteral("No es pot començar l'enviament: el registre d'enviaments %1 %2, i %3. No es fa servir per "
                          "saber qui ja ha rebut el missatge: obriu el projecte a la finestra per començar-ne un de nou, "
                          "o traieu aquest registre del seu costat.")
        .arg(journal.path, whoseText(journal), project);
}

} // namespace tramelo
