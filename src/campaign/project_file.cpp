#include "project_file.h"

#include "body_preparation.h"
#include "campaign.h"
#include "campaign_identity.h"
#include "campaign_numbers.h"
#include "campaign_view.h"
#include "connection_security.h"
#include "file_sync.h"
#include "journal_marks.h"
#include "plain_text.h"
#include "project_extension.h"
#include "project_paths.h"
#include "project_record.h"
#include "project_texts.h"
#include "recipient_grid.h"
#include "recipient_source.h"
#include "send_journal.h"
#include "windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

namespace tramelo {
namespace {

// ---- saving ------------------------------------------------------------

QString saveFailure(const QString &reason)
{
    return QStringLiteral("No s'ha pogut gravar l'arxiu de projecte: ") + reason;
}

// A box holds a number when all of it reads as one (blanks aside), so that
// "abc" or "3 dies" is refused rather than stored as 0 or 3. The value is
// rounded, a half going to the even neighbour, and must fit its field.
std::optional<qint64> wholeNumberIn(const QString &text, qint64 minimum, qint64 maximum)
{
    if (!isOneNumber(text))
        return std::nullopt;
    const double value = roundHalfEven(readNumber(text));
    if (!(value >= double(minimum) && value <= double(maximum)))
        return std::nullopt;
    return qint64(value);
}

struct TextField {
    Setting setting;
    const char16_t *label;
};

// The texts the file stores, with the labels the operator knows them by.
constexpr TextField storedTexts[] = {
    {Setting::SenderAddress, u"Adreça de correu"},
    {Setting::SenderName, u"Nom per mostrar"},
    {Setting::SmtpServer, u"Servidor SMTP"},
    {Setting::LoginUser, u"Usuari"},
    {Setting::LoginPassword, u"Contrasenya"},
    {Setting::DatabaseSource, u"Base de dades"},
    {Setting::TableName, u"Taula a fer servir"},
    {Setting::SqlStatement, u"Instrucció SQL"},
    {Setting::AddressField, u"Camp adreça correu"},
    {Setting::MessageSubject, u"Assumpte"},
    {Setting::BodySource, u"Cos"},
    {Setting::FieldDelimiterLeft, u"Delimitador esq. de camps"},
    {Setting::FieldDelimiterRight, u"Delimitador dret de camps"},
    {Setting::AttachmentList, u"Annexos"},
    {Setting::TableQuoteLeft, u"Delimitadors de nom de taula"},
    {Setting::TableQuoteRight, u"Delimitadors de nom de taula"},
};

std::optional<QString> overlongTextMessage(const CampaignSettings &settings)
{
    // Field 8 holds the table or the statement, whichever the source kind uses.
    const Setting unused = settings.sourceKind() == SourceKind::Table ? Setting::SqlStatement : Setting::TableName;
    for (const TextField &field : storedTexts) {
        if (field.setting != unused && toWindows1252(settings.text(field.setting)).size() > maxProjectTextBytes) {
            return QStringLiteral("El camp \"%1\" és massa llarg per a l'arxiu de projecte: com a màxim pot tenir %2 caràcters")
                .arg(QString::fromUtf16(field.label))
                .arg(maxProjectTextBytes);
        }
    }
    return std::nullopt;
}

ProjectRecord recordOf(Campaign &campaign, qint16 groupSize, qint32 waitSeconds)
{
    const CampaignSettings &s = campaign.settings();
    const bool table = s.sourceKind() == SourceKind::Table;
    ProjectRecord r;
    r.senderAddress = s.text(Setting::SenderAddress);
    r.senderName = s.text(Setting::SenderName);
    r.smtpServer = s.text(Setting::SmtpServer);
    r.needsLogin = quint8(s.checkValue(Check::NeedsLogin));
    r.loginUser = s.text(Setting::LoginUser);
    r.loginPassword = s.text(Setting::LoginPassword);
    r.databaseSource = s.text(Setting::DatabaseSource);
    r.tableOrStatement = s.text(table ? Setting::TableName : Setting::SqlStatement);
    r.addressField = s.text(Setting::AddressField);
    r.messageSubject = s.text(Setting::MessageSubject);
    r.bodySource = s.text(Setting::BodySource);
    r.fieldDelimiterLeft = s.text(Setting::FieldDelimiterLeft);
    r.fieldDelimiterRight = s.text(Setting::FieldDelimiterRight);
    r.groupSendings = quint8(s.checkValue(Check::GroupSendings));
    r.groupSize = groupSize;
    r.waitSeconds = waitSeconds;
    r.attachmentList = s.text(Setting::AttachmentList);
    r.recipientRowCount = campaign.grid().dataRowCount();
    r.sourceIsTable = table;
    r.tableQuoteLeft = s.text(Setting::TableQuoteLeft);
    r.tableQuoteRight = s.text(Setting::TableQuoteRight);
    r.bodyIsFile = s.bodyKind() == BodyKind::File;
    return r;
}

// ---- settings beyond the record ---------------------------------------------

const QByteArray securityKey = QByteArrayLiteral("seguretat");
const QByteArray certificatesKey = QByteArrayLiteral("certificats");
const QByteArray campaignKey = QByteArrayLiteral("campanya");
// A UUID is 36 characters; an identifier longer than this is no identifier,
// and a security word longer than this is shown cut.
constexpr qsizetype maxCampaignIdBytes = 64;
constexpr qsizetype maxShownWordBytes = 64;

// The campaign's identifier, settings away from their defaults, and the
// exact form of the texts the record cannot hold.
ProjectExtension extensionOf(const Campaign &campaign, const ProjectRecord &record)
{
    const CampaignSettings &s = campaign.settings();
    ProjectExtension entries = exactTextsOf(record);
    if (!campaign.campaignId().isEmpty())
        entries.insert(campaignKey, campaign.campaignId().toUtf8());
    if (s.security() != ConnectionSecurity::Automatic)
        entries.insert(securityKey, connectionSecurityWord(s.security()));
    const QString certificates = s.text(Setting::TrustedCertificatesFile);
    if (!certificates.isEmpty())
        entries.insert(certificatesKey, certificates.toUtf8());
    return entries;
}

// A file without them gives the defaults. A security word this program does
// not know never gets here (unknownSecurityWord).
void putBackExtension(CampaignSettings &s, const ProjectExtension &entries)
{
    s.setSecurity(connectionSecurityOfWord(entries.value(securityKey)).value_or(ConnectionSecurity::Automatic));
    s.setText(Setting::TrustedCertificatesFile, QString::fromUtf8(entries.value(certificatesKey)));
}

QString campaignIdOf(const ProjectExtension &entries)
{
    const QByteArray id = entries.value(campaignKey);
    const bool printable = std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c <= '~'; });
    return printable && id.size() <= maxCampaignIdBytes ? QString::fromLatin1(id) : QString();
}

// Read as no security at all, a word this program does not know would let
// a login go in the clear: such a project is refused.
std::optional<QString> unknownSecurityWord(const QString &path, const ProjectExtension &entries)
{
    const auto word = entries.constFind(securityKey);
    if (word == entries.constEnd() || connectionSecurityOfWord(*word))
        return std::nullopt;
    return QStringLiteral("L'arxiu de projecte %1 demana una seguretat de la connexió que aquest programa no coneix, "
                          "\"%2\": les que coneix són automatica, cap, starttls i ssl. No s'ha carregat.")
        .arg(path, QString::fromUtf8(word->left(maxShownWordBytes)));
}

// The block may only lie after the marks the record counts; what is read is
// bounded by the block's own bound.
ProjectExtension readExtensionOf(QFile &file, const ProjectReading &reading)
{
    if (!reading.complete)
        return {};
    const qint64 marksEnd = reading.length + qMax<qint64>(0, reading.record.recipientRowCount);
    const qint64 from = qMax(marksEnd, file.size() - qint64(maxProjectExtensionBytes));
    if (from >= file.size() || !file.seek(from))
        return {};
    return readProjectExtension(file.read(file.size() - from));
}

// Whether the new file takes the old one's place, or only proves it could.
enum class Finish { Replace, Discard };

// The new contents go to a file beside the old one, reach the disk, and only
// then take the old one's place, so that a crash or a full disk at any point
// leaves either the old project or the new one, never a truncated mix.
std::optional<QString> replaceFile(const QString &path, const QByteArray &bytes,
                                   const BeforeReplaceHook &beforeReplace, Finish finish)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // The file holds the login password as typed.
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0)
        return systemErrorText();
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    if (::fsync(file.handle()) != 0)
        return systemErrorText();
    if (beforeReplace) {
        if (const std::optional<QString> reason = beforeReplace())
            return reason; // the unfinished file goes with QSaveFile
    }
    if (finish == Finish::Discard)
        return std::nullopt; // and so does the proof
    if (!file.commit())
        return file.errorString();
    // After a crash the folder may still name the old file unless the rename
    // itself reached the disk.
    syncFolderOf(path);
    return std::nullopt;
}

// ---- loading -------------------------------------------------------------

// With neither a table nor a statement there is no field list to rebuild.
JournalMarks reloadRecipients(Campaign &campaign, const ProjectRecord &r)
{
    CampaignSettings &s = campaign.settings();
    if (isBlank(r.tableOrStatement)) {
        s.setSourceKind(SourceKind::Table);
        return {};
    }
    if (r.sourceIsTable) {
        s.setSourceKind(SourceKind::Table);
        s.setText(Setting::TableName, r.tableOrStatement);
    } else {
        s.setSourceKind(SourceKind::Sql);
        s.setText(Setting::SqlStatement, r.tableOrStatement);
    }
    LoadFieldList(campaign);
    if (isBlank(r.addressField))
        return {};
    s.setText(Setting::AddressField, r.addressField);
    return FillRecipientGrid(campaign);
}

MarksRestoration notRestorable(const QString &reason)
{
    return {.outcome = MarksRestoration::Outcome::NotRestorable, .reason = reason};
}

// Marks belong to row positions, so they only mean something when the
// source yields as many rows as when they were saved. Marks that are
// damaged, or that do not fit the rows, are not put back; when they record
// no outcome at all, nothing is lost by that.
MarksRestoration judgeMarks(Campaign &campaign, QFile &file, const ProjectReading &reading)
{
    if (!reading.complete)
        return notRestorable(QStringLiteral("l'arxiu de projecte s'acaba abans de les marques d'enviat"));
    const qint32 saved = reading.record.recipientRowCount;
    const int now = campaign.grid().dataRowCount();
    const QString countsChanged = QStringLiteral("el projecte es va gravar amb %1 destinataris i ara l'origen en dona %2")
                                      .arg(saved)
                                      .arg(now);
    if (saved < 0)
        return notRestorable(countsChanged);
    // What is read is bounded by the file's own size, whatever it claims.
    QByteArray marks;
    if (file.seek(reading.length))
        marks = file.read(qMin<qint64>(saved, file.size() - reading.length));
    if (marks.size() < saved) {
        return notRestorable(QStringLiteral("l'arxiu de projecte està tallat: hi ha %1 marques d'enviat de les %2 desades")
                                 .arg(marks.size())
                                 .arg(saved));
    }
    if (const qsizetype foreign = firstForeignMark(marks); foreign >= 0)
        return notRestorable(QStringLiteral("la marca de la fila %1 no és S, N ni un espai").arg(foreign + 1));
    if (saved == now) {
        // The rows the journal marked at the fill stay sent: a row is sent
        // when either says so.
        const QByteArray filled = campaign.grid().sentMarks();
        for (qsizetype entry = 0; entry < marks.size() && entry < filled.size(); ++entry) {
            if (filled[entry] == 'S')
                marks[entry] = 'S';
        }
        campaign.grid().restoreMarks(marks);
        return {.outcome = MarksRestoration::Outcome::Restored};
    }
    if (marks.count(' ') == marks.size())
        return {.outcome = MarksRestoration::Outcome::NoneSaved};
    return notRestorable(countsChanged);
}

// A campaign without an identifier, saved over the file it was loaded
// from or carrying its journal to another: that journal, from before
// identifiers too, is its own.
void adoptJournalOnFirstSave(Campaign &campaign, const QString &path, bool adopting)
{
    if (!adopting)
        return;
    if (const std::optional<QString> failure = adoptJournal(path, campaign.campaignId()))
        campaign.view().showMessage(*failure, MessageIcon::Error);
}

// The project as SaveProject writes it, or nothing after a message box that
// says which value the file cannot hold.
std::optional<QByteArray> projectBytes(Campaign &campaign)
{
    CampaignView &view = campaign.view();
    const CampaignSettings &s = campaign.settings();
    const std::optional<qint64> groupSize = wholeNumberIn(s.text(Setting::GroupSize), -32768, 32767);
    if (!groupSize) {
        view.showMessage(QStringLiteral("El número d'adreces per grup ha de ser un número entre -32768 i 32767 "
                                        "per gravar l'arxiu de projecte"),
                         MessageIcon::Error);
        return std::nullopt;
    }
    const std::optional<qint64> waitSeconds = wholeNumberIn(s.text(Setting::WaitSeconds),
                                                            std::numeric_limits<qint32>::min(),
                                                            std::numeric_limits<qint32>::max());
    if (!waitSeconds) {
        view.showMessage(QStringLiteral("El temps a esperar entre enviaments ha de ser un número de segons "
                                        "per gravar l'arxiu de projecte"),
                         MessageIcon::Error);
        return std::nullopt;
    }
    if (const std::optional<QString> message = overlongTextMessage(s)) {
        view.showMessage(*message, MessageIcon::Error);
        return std::nullopt;
    }
    // Every text the record stores was measured above: the writer takes them
    // all. The extension goes after every mark byte.
    const ProjectRecord record = recordOf(campaign, qint16(*groupSize), qint32(*waitSeconds));
    const std::optional<QByteArray> extension = writeProjectExtension(extensionOf(campaign, record));
    if (!extension) {
        view.showMessage(QStringLiteral("Els certificats de confiança addicionals tenen un nom massa llarg per a "
                                        "l'arxiu de projecte"),
                         MessageIcon::Error);
        return std::nullopt;
    }
    return writeProject(record, campaign.grid().sentMarks()).value() + *extension;
}

// The campaign saved under another name goes on with the record of who has
// been sent: its journal is copied beside the new file, unless one is there.
// Whether it was.
bool carryJournal(Campaign &campaign, const QString &previousJournal)
{
    const QString journal = SendJournal::pathFor(campaign.projectPath());
    if (previousJournal.isEmpty() || QFileInfo::exists(journal) || !QFileInfo(previousJournal).isFile())
        return false;
    QFile from(previousJournal);
    if (!from.copy(journal)) {
        campaign.view().showMessage(QStringLiteral("No s'ha pogut copiar el registre d'enviaments %1 a %2: %3")
                                        .arg(previousJournal, journal, from.errorString()),
                                    MessageIcon::Error);
        return false;
    }
    QFile::setPermissions(journal, QFile::ReadOwner | QFile::WriteOwner);
    // On the disk with its name, as every journal row is.
    QFile copied(journal);
    if (copied.open(QIODevice::ReadOnly))
        ::fsync(copied.handle());
    syncFolderOf(journal);
    return true;
}

} // namespace

bool SaveProject(Campaign &campaign, const QString &path, const BeforeReplaceHook &beforeReplace)
{
    if (path.isEmpty())
        return false;
    // A campaign gets its identifier when it is first saved.
    const QString previousId = campaign.campaignId();
    const bool loadedWithoutId = previousId.isEmpty() && !campaign.projectPath().isEmpty();
    if (previousId.isEmpty())
        campaign.setCampaignId(newCampaignId());
    // Saved into another folder, the relative paths are rewritten to name
    // the same files from there; put back if the project cannot be written.
    CampaignSettings &s = campaign.settings();
    const bool wasDirty = campaign.isDirty();
    QList<std::pair<Setting, QString>> before;
    for (const auto &[setting, text] : pathsMovedTo(campaign, QFileInfo(path).absolutePath())) {
        before.append({setting, s.text(setting)});
        s.setText(setting, text);
    }
    const std::optional<QByteArray> bytes = projectBytes(campaign);
    if (!bytes) {
        for (const auto &[setting, text] : before)
            s.setText(setting, text);
        campaign.setDirty(wasDirty);
        campaign.setCampaignId(previousId);
        return false;
    }
    const QString previousJournal =
        campaign.projectPath().isEmpty() ? QString() : SendJournal::pathFor(campaign.projectPath());
    const bool samePath = campaign.projectPath() == path;
    campaign.setProjectPath(path);
    if (const std::optional<QString> reason = replaceFile(path, *bytes, beforeReplace, Finish::Replace)) {
        campaign.setCampaignId(previousId);
        campaign.view().showMessage(saveFailure(*reason), MessageIcon::Error);
        return false;
    }
    const bool carried = carryJournal(campaign, previousJournal);
    adoptJournalOnFirstSave(campaign, path, loadedWithoutId && (samePath || carried));
    campaign.setDirty(false);
    return true;
}

std::optional<QString> recordCampaignInProject(const QString &path, const QString &campaignId)
{
    const auto cannot = [&path](const QString &reason) {
        return QStringLiteral("No s'ha pogut anotar la campanya a l'arxiu de projecte %1: %2").arg(path, reason);
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cannot(file.errorString());
    const ProjectReading reading = readProjectRecord(file.read(maxProjectRecordBytes));
    if (!reading.complete)
        return cannot(QStringLiteral("l'arxiu s'acaba abans de les marques d'enviat"));
    if (!file.seek(0))
        return cannot(file.errorString());
    QByteArray bytes = file.readAll();
    file.close();
    // The record and the marks stay byte for byte; the block after them is
    // written again with the identifier among its entries.
    const qint64 marksEnd = qMin<qint64>(bytes.size(), reading.length + qMax<qint64>(0, reading.record.recipientRowCount));
    const QByteArrayView afterMarks = QByteArrayView(bytes).sliced(marksEnd);
    const QByteArrayView tail = afterMarks.last(qMin(afterMarks.size(), maxProjectExtensionBytes));
    ProjectExtension entries = readProjectExtension(tail);
    bytes.chop(projectExtensionLength(tail));
    entries.insert(campaignKey, campaignId.toUtf8());
    const std::optional<QByteArray> extension = writeProjectExtension(entries);
    if (!extension)
        return cannot(QStringLiteral("el bloc d'extensió no hi cap"));
    if (const std::optional<QString> reason = replaceFile(path, bytes + *extension, {}, Finish::Replace))
        return cannot(*reason);
    return std::nullopt;
}

bool ProveProjectCanBeSaved(Campaign &campaign, const QString &path)
{
    const std::optional<QByteArray> bytes = projectBytes(campaign);
    if (!bytes)
        return false;
    if (const std::optional<QString> reason = replaceFile(path, *bytes, {}, Finish::Discard)) {
        campaign.view().showMessage(saveFailure(*reason), MessageIcon::Error);
        return false;
    }
    return true;
}

QString marksNotRestoredMessage(const MarksRestoration &restoration)
{
    return QStringLiteral("No s'han pogut restaurar les marques d'enviat desades al projecte: ") + restoration.reason;
}

QString journalNotReadMessage(const MarksRestoration &restoration)
{
    JournalMarks journal;
    journal.path = restoration.journalPath;
    journal.reason = restoration.journalReason;
    return journalNotReadMessage(journal);
}

QString journalRowsMessage(const MarksRestoration &restoration)
{
    return QStringLiteral("Registre d'enviaments %1: %2 files ja enviades")
        .arg(restoration.journalPath)
        .arg(restoration.journalRows);
}

std::optional<MarksRestoration> LoadProject(Campaign &campaign, const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    ProjectReading reading = readProjectRecord(file.read(maxProjectRecordBytes));
    const ProjectExtension extension = readExtensionOf(file, reading);
    if (const std::optional<QString> refusal = unknownSecurityWord(path, extension)) {
        campaign.view().showMessage(*refusal, MessageIcon::Error);
        return std::nullopt;
    }
    campaign.setProjectPath(path);
    campaign.setCampaignId(campaignIdOf(extension));
    // Whatever the new project's source yields, the old one's rows are gone.
    campaign.grid().clearRows();

    putBackExactTexts(reading.record, extension);
    const ProjectRecord &r = reading.record;
    CampaignSettings &s = campaign.settings();

    s.setText(Setting::SenderAddress, r.senderAddress);
    s.setText(Setting::SenderName, r.senderName);
    s.setText(Setting::SmtpServer, r.smtpServer);
    putBackExtension(s, extension);
    s.setCheckValue(Check::NeedsLogin, r.needsLogin);
    s.setText(Setting::LoginUser, r.loginUser);
    s.setText(Setting::LoginPassword, r.loginPassword);
    s.setText(Setting::BodySource, r.bodySource);
    s.setBodyKind(r.bodyIsFile ? BodyKind::File : BodyKind::Text);
    RefreshBodyPreview(campaign);

    s.setText(Setting::FieldDelimiterLeft, r.fieldDelimiterLeft);
    s.setText(Setting::FieldDelimiterRight, r.fieldDelimiterRight);
    s.setCheckValue(Check::GroupSendings, r.groupSendings);
    s.setText(Setting::GroupSize, QString::number(r.groupSize));
    s.setText(Setting::WaitSeconds, QString::number(r.waitSeconds));
    s.setText(Setting::AttachmentList, r.attachmentList);
    s.setText(Setting::MessageSubject, r.messageSubject);
    s.setText(Setting::DatabaseSource, r.databaseSource);
    OpenRecipientDatabase(campaign, true);

    // The saved delimiters win over the defaults of the database's kind.
    s.setText(Setting::TableQuoteLeft, r.tableQuoteLeft);
    s.setText(Setting::TableQuoteRight, r.tableQuoteRight);
    const JournalMarks journal = reloadRecipients(campaign, r);
    MarksRestoration marks = judgeMarks(campaign, file, reading);
    marks.journal = journal.status;
    marks.journalPath = journal.path;
    marks.journalReason = journal.reason;
    marks.journalRows = journal.rows;
    campaign.view().setClearMarksEnabled(campaign.grid().hasMarks());

    campaign.setDirty(false);
    return marks;
}

} // namespace tramelo
