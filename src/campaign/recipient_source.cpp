#include "recipient_source.h"

#include "campaign.h"
#include "campaign_identity.h"
#include "campaign_view.h"
#include "connection_strings.h"
#include "odbc_picker.h"
#include "plain_text.h"
#include "project_paths.h"
#include "recipient_connection.h"
#include "recipient_grid.h"
#include "send_journal.h"

namespace tramelo {

namespace {

void clearTableList(Campaign &campaign)
{
    campaign.setTableList({});
    campaign.settings().setText(Setting::TableName, QString());
}

void clearFieldList(Campaign &campaign)
{
    campaign.setFieldList({});
    campaign.settings().setText(Setting::AddressField, QString());
}

// The driver's own words, often English, follow a sentence of ours; a
// statement this program refuses to run, or ends, is said in its own words
// alone.
void showStatementRefused(Campaign &campaign, const QString &error)
{
    const QString text = isOwnStatementRefusal(error)
        ? error
        : QStringLiteral("La base de dades no ha acceptat la instrucció SQL. Resposta del controlador:\n") + error;
    campaign.view().showMessage(text, MessageIcon::Error);
}

void setDelimiters(CampaignSettings &settings, const TableDelimiters &delimiters)
{
    settings.setText(Setting::TableQuoteLeft, delimiters.left);
    settings.setText(Setting::TableQuoteRight, delimiters.right);
}

// What is wrong with a CSV file, and where, is the operator's to mend; any
// other database that does not open is a wrong database file, named as it
// was looked for (a connect string is not repeated: it may hold a
// password), and the database layer says why on the next line.
QString openFailureMessage(const Campaign &campaign, const QString &source, const QString &error)
{
    if (csvFileOf(connectionStringFor(source)))
        return error;
    const QString wrongFile = QStringLiteral("Arxiu de base de dades incorrecte");
    const QString typed = campaign.settings().text(Setting::DatabaseSource);
    const QString named = typed.contains(u'=') ? wrongFile : wrongFile + QStringLiteral(": ") + resolvedCampaignPath(campaign, typed);
    return named + u'\n' + error;
}

// An account that may write files on the server could be made to, by a
// statement hidden where the program cannot see it.
void warnOfFileWritingPrivilege(Campaign &campaign)
{
    const QString privilege = campaign.connection().fileWritingPrivilege();
    if (privilege.isEmpty())
        return;
    campaign.view().showMessage(
        QStringLiteral("Avís: el compte amb què es connecta a la base de dades té el privilegi %1, que li permet "
                       "escriure arxius al servidor de la base de dades. Per llegir els destinataris n'hi ha prou "
                       "amb un compte que només pugui llegir (GRANT SELECT): feu-ne servir un.")
            .arg(privilege),
        MessageIcon::Warning);
}

// Addresses are what the journal knows rows by: a row counts as sent (or in
// doubt) when its address does, whatever its position now.
JournalMarks restoreJournalMarks(Campaign &campaign)
{
    if (campaign.projectPath().isEmpty())
        return {};
    return markRowsFromJournal(campaign, readCampaignJournal(campaign));
}

} // namespace

void OpenRecipientDatabase(Campaign &campaign, bool resetDelimiters)
{
    CampaignSettings &settings = campaign.settings();
    if (isBlank(settings.text(Setting::DatabaseSource)))
        return;
    const QString source = databaseToOpen(campaign);

    BusyPointer busy(campaign.view());
    clearTableList(campaign);
    clearFieldList(campaign);
    campaign.replaceConnection();

    // An Access file always takes brackets; a connect string only when the
    // caller allows the delimiters to be reset, and then as its server
    // quotes names, once it is known.
    QString error;
    const bool opened = campaign.connection().open(connectionStringFor(source), error);
    if (isFilePath(source) || resetDelimiters)
        setDelimiters(settings, defaultDelimitersFor(source, campaign.connection().serverKind()));

    if (!opened) {
        campaign.view().showMessage(openFailureMessage(campaign, source, error), MessageIcon::Critical);
        settings.setText(Setting::DatabaseSource, QString());
        return;
    }
    warnOfFileWritingPrivilege(campaign);

    const std::optional<QStringList> tables = campaign.connection().tableNames(error);
    if (!tables) {
        // The connection is open but the driver cannot list its tables: say
        // why rather than show an empty list without a word.
        campaign.view().showMessage(error, MessageIcon::None);
        return;
    }
    campaign.setTableList(*tables);
}

QString tableStatement(const CampaignSettings &settings)
{
    return QStringLiteral("Select * From ") + settings.text(Setting::TableQuoteLeft) + settings.text(Setting::TableName)
        + settings.text(Setting::TableQuoteRight);
}

void LoadFieldList(Campaign &campaign)
{
    CampaignSettings &settings = campaign.settings();
    BusyPointer busy(campaign.view());
    clearFieldList(campaign);

    if (settings.sourceKind() == SourceKind::Table) {
        const bool noTable = isBlank(settings.text(Setting::TableName));
        settings.setText(Setting::SqlStatement, noTable ? QString() : tableStatement(settings));
    }

    const QString statement = settings.text(Setting::SqlStatement);
    if (isBlank(statement))
        return;

    QString error;
    const std::optional<QStringList> fields = campaign.connection().fieldNames(statement, error);
    if (!fields) {
        showStatementRefused(campaign, error);
        return;
    }
    campaign.setFieldList(*fields);
}

std::unique_ptr<RecordSnapshot> OpenRecipientRows(Campaign &campaign, const QString &statement, QString &error)
{
    if (campaign.recipientRows() == RecipientRows::MarksOnly)
        return campaign.connection().openStreamedSnapshot(statement, error);
    return campaign.connection().openSnapshot(statement, error);
}

QString journalNotReadMessage(const JournalMarks &journal)
{
    return QStringLiteral("No s'ha pogut llegir el registre d'enviaments %1: %2").arg(journal.path, journal.reason);
}

JournalMarks FillRecipientGrid(Campaign &campaign)
{
    CampaignSettings &settings = campaign.settings();
    const QString addressField = settings.text(Setting::AddressField);
    if (isBlank(addressField))
        return {};

    BusyPointer busy(campaign.view());
    campaign.view().showGrid();
    RecipientGrid &grid = campaign.grid();
    grid.resetToHeaders();

    QString error;
    const std::unique_ptr<RecordSnapshot> snapshot =
        OpenRecipientRows(campaign, settings.text(Setting::SqlStatement), error);
    if (!snapshot) {
        showStatementRefused(campaign, error);
        return {};
    }
    grid.fillFrom(*snapshot, addressField);
    return restoreJournalMarks(campaign);
}

bool RestoreJournalMarks(Campaign &campaign, const RecipientGrid::JournalLookup &lookup)
{
    RecipientGrid &grid = campaign.grid();
    if (grid.keepsCells() || grid.dataRowCount() == 0) {
        grid.restoreJournalMarks(lookup);
        return true;
    }
    QString error;
    const std::unique_ptr<RecordSnapshot> rows =
        OpenRecipientRows(campaign, campaign.settings().text(Setting::SqlStatement), error);
    if (!rows) {
        campaign.view().showMessage(error, MessageIcon::Error);
        return false;
    }
    grid.restoreJournalMarks(*rows, campaign.settings().text(Setting::AddressField), lookup);
    if (!rows->readFailure().isEmpty()) {
        campaign.view().showMessage(rows->readFailure(), MessageIcon::Error);
        return false;
    }
    return true;
}

void ApplyOdbcChoice(Campaign &campaign, const std::optional<QString> &connectString)
{
    if (!connectString) {
        campaign.view().showMessage(QStringLiteral("Error en la connexio amb l'origen de dades ODBC"), MessageIcon::None);
        return;
    }
    const QString &text = *connectString;
    const QString source = text.startsWith(odbcConnectPrefix) ? text.mid(odbcConnectPrefix.size()) : text;
    campaign.settings().setText(Setting::DatabaseSource, source);
    OpenRecipientDatabase(campaign, true);
}

void ClearSentMarks(Campaign &campaign)
{
    // The journal keeps the decision, or the rows it records as sent would
    // be marked again at the next load.
    if (!campaign.projectPath().isEmpty()) {
        if (const std::optional<QString> failure =
                SendJournal::recordMarksCleared(SendJournal::pathFor(campaign.projectPath())))
            campaign.view().showMessage(*failure, MessageIcon::Error);
    }
    campaign.setDirty(true);
    campaign.grid().clearAllMarks();
    campaign.view().setClearMarksEnabled(false);
    campaign.view().hideRunProgress();
}

} // namespace tramelo
