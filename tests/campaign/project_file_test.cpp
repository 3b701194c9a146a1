#include "body_preparation.h"
#include "campaign.h"
#include "fake_campaign_view.h"
#include "gtest_qt_printers.h"
#include "project_extension.h"
#include "project_file.h"
#include "project_record.h"
#include "recipient_grid.h"
#include "recipient_source.h"
#include "test_databases.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tramelo;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

unsigned modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

// A window model with its own view, as a fresh main window would hold it.
struct Window {
    Window() { s.applyStartDefaults(); }
    QString text(Setting setting) const { return s.text(setting); }
    QStringList markCells()
    {
        QStringList cells;
        for (int row = 1; row <= campaign.grid().dataRowCount(); ++row)
            cells.append(campaign.grid().markText(row));
        return cells;
    }
    test::FakeCampaignView view;
    Campaign campaign{view};
    CampaignSettings &s = campaign.settings();
};

class ProjectFile : public ::testing::Test
{
protected:
    void SetUp() override { makeDatabase(3); }

    void makeDatabase(int rows)
    {
        QFile::remove(database);
        QStringList statements{QStringLiteral("CREATE TABLE Socis (Id INTEGER, Nom TEXT, Correu TEXT)")};
        for (int i = 1; i <= rows; ++i)
            statements.append(QStringLiteral("INSERT INTO Socis VALUES (%1, 'Soci %1', 'soci%1@exemple.cat')").arg(i));
        QString error;
        ASSERT_TRUE(test::createSqliteDatabase(database, statements, error)) << error;
    }

    // The source chosen as the operator would, the grid filled.
    void chooseSource(Window &w, SourceKind kind, const QString &tableOrStatement, const QString &addressField)
    {
        w.s.setText(Setting::DatabaseSource, database);
        OpenRecipientDatabase(w.campaign, true);
        w.s.setSourceKind(kind);
        w.s.setText(kind == SourceKind::Table ? Setting::TableName : Setting::SqlStatement, tableOrStatement);
        LoadFieldList(w.campaign);
        w.s.setText(Setting::AddressField, addressField);
        FillRecipientGrid(w.campaign);
    }

    // A campaign over the whole table with its first two rows marked.
    void saveTableCampaign(const QString &quotes = QString())
    {
        Window w;
        w.s.setText(Setting::SenderAddress, QStringLiteral("jo@exemple.cat"));
        w.s.setCheckValue(Check::NeedsLogin, 1);
        w.s.setText(Setting::LoginPassword, QStringLiteral("secret"));
        w.s.setText(Setting::MessageSubject, QStringLiteral("Façana"));
        w.s.setBodyKind(BodyKind::Text);
        w.s.setText(Setting::BodySource, QStringLiteral("<p>Hola <<<Nom>>></p>"));
        w.s.setText(Setting::WaitSeconds, QStringLiteral("1.5"));
        w.s.setText(Setting::GroupSize, QStringLiteral("2.5"));
        chooseSource(w, SourceKind::Table, QStringLiteral("Socis"), QStringLiteral("Correu"));
        if (!quotes.isEmpty()) {
            w.s.setText(Setting::TableQuoteLeft, quotes);
            w.s.setText(Setting::TableQuoteRight, quotes);
        }
        ASSERT_EQ(w.campaign.grid().dataRowCount(), 3);
        w.campaign.grid().markSent(1);
        w.campaign.grid().markFailed(2);
        ASSERT_TRUE(SaveProject(w.campaign, project)) << w.view.messageTexts().join(u'\n');
        EXPECT_EQ(w.campaign.projectPath(), project);
        EXPECT_FALSE(w.campaign.isDirty());
    }

    QTemporaryDir folder;
    const QString database = folder.filePath(QStringLiteral("socis.sqlite"));
    const QString project = folder.filePath(QStringLiteral("campanya.pcm"));
};

} // namespace

TEST_F(ProjectFile, SavesAndReloadsATableCampaignWithItsMarks)
{
    saveTableCampaign();
    const QByteArray bytes = readAll(project);
    EXPECT_EQ(modeOf(project), 0600u);
    EXPECT_TRUE(bytes.contains("\x06\x00" "Fa\xE7" "ana"));
    const ProjectReading stored = readProjectRecord(bytes);
    EXPECT_EQ(stored.record.waitSeconds, 2); // 1.5 and 2.5: halves to the even neighbour
    EXPECT_EQ(stored.record.groupSize, 2);
    EXPECT_EQ(stored.record.tableOrStatement, QStringLiteral("Socis"));
    EXPECT_EQ(bytes.mid(stored.length, 4), QByteArray("SN  ")); // every entry, the unused last one too
    // The campaign got its identifier, after the marks.
    const QByteArray id = readProjectExtension(bytes.mid(stored.length + 4)).value("campanya");
    EXPECT_EQ(id.size(), 36) << id.constData();

    Window w;
    ASSERT_TRUE(LoadProject(w.campaign, project));
    EXPECT_EQ(w.text(Setting::SenderAddress), QStringLiteral("jo@exemple.cat"));
    EXPECT_EQ(w.s.checkValue(Check::NeedsLogin), 1);
    EXPECT_EQ(w.text(Setting::LoginPassword), QStringLiteral("secret"));
    EXPECT_EQ(w.text(Setting::MessageSubject), QStringLiteral("Façana"));
    EXPECT_EQ(w.s.bodyKind(), BodyKind::Text);
    EXPECT_EQ(w.text(Setting::BodyText), QStringLiteral("<p>Hola <<<Nom>>></p>"));
    EXPECT_EQ(w.text(Setting::WaitSeconds), QStringLiteral("2"));
    EXPECT_EQ(w.s.sourceKind(), SourceKind::Table);
    EXPECT_EQ(w.text(Setting::SqlStatement), QStringLiteral("Select * From [Socis]"));
    EXPECT_EQ(w.text(Setting::AddressField), QStringLiteral("Correu"));
    EXPECT_EQ(w.markCells(), QStringList({"Si", "No", ""}));
    EXPECT_EQ(w.campaign.grid().sentMarks(), QByteArray("SN "));
    EXPECT_TRUE(w.view.clearMarksEnabled);
    EXPECT_EQ(w.campaign.projectPath(), project);
    EXPECT_EQ(w.campaign.campaignId().toLatin1(), id);
    EXPECT_FALSE(w.campaign.isDirty());
    EXPECT_TRUE(w.view.messages.empty()) << w.view.messageTexts().join(u'\n');
}

TEST_F(ProjectFile, ReloadsTheSourceKindAndTheDelimitersThatWereSaved)
{
    struct Case {
        const char *name;
        SourceKind kind;
        QString tableOrStatement;
        QString addressField;
        SourceKind reloadedKind;
        int rows;
    };
    const Case cases[] = {
        {"statement", SourceKind::Sql, "Select Nom, Correu From Socis Where Id > 1", "Correu", SourceKind::Sql, 2},
        {"table without a choice", SourceKind::Table, QString(), QString(), SourceKind::Table, 0},
        {"blank statement", SourceKind::Sql, "  ", QString(), SourceKind::Table, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        {
            Window w;
            chooseSource(w, c.kind, c.tableOrStatement, c.addressField);
            ASSERT_TRUE(SaveProject(w.campaign, project));
        }
        Window w;
        w.s.setSourceKind(c.kind == SourceKind::Sql ? SourceKind::Table : SourceKind::Sql);
        ASSERT_TRUE(LoadProject(w.campaign, project));
        EXPECT_EQ(w.s.sourceKind(), c.reloadedKind);
        EXPECT_EQ(w.text(Setting::SqlStatement), c.rows ? c.tableOrStatement : QString());
        EXPECT_EQ(w.campaign.grid().dataRowCount(), c.rows);
        EXPECT_EQ(w.campaign.fieldList().size(), c.rows ? 2 : 0);
    }

    // Backquotes saved for a file source, whose own default is brackets.
    saveTableCampaign(QStringLiteral("`"));
    Window w;
    ASSERT_TRUE(LoadProject(w.campaign, project));
    EXPECT_EQ(w.text(Setting::TableQuoteRight), QStringLiteral("`"));
    EXPECT_EQ(w.text(Setting::SqlStatement), QStringLiteral("Select * From `Socis`"));
    EXPECT_EQ(w.campaign.grid().dataRowCount(), 3);
}

TEST_F(ProjectFile, RestoresMarksOnlyWhenTheSourceStillHasAsManyRows)
{
    using Outcome = MarksRestoration::Outcome;
    saveTableCampaign();
    for (const int rows : {2, 4, 3}) {
        SCOPED_TRACE(rows);
        makeDatabase(rows);
        Window w;
        w.view.clearMarksEnabled = rows != 3;
        const std::optional<MarksRestoration> loaded = LoadProject(w.campaign, project);
        ASSERT_TRUE(loaded);
        ASSERT_EQ(w.campaign.grid().dataRowCount(), rows);
        EXPECT_EQ(w.view.clearMarksEnabled, rows == 3);
        EXPECT_EQ(w.markCells(), rows == 3 ? QStringList({"Si", "No", ""}) : QStringList(rows, QString()));
        EXPECT_EQ(loaded->outcome, rows == 3 ? Outcome::Restored : Outcome::NotRestorable);
        if (rows != 3) {
            EXPECT_EQ(marksNotRestoredMessage(*loaded),
                      QStringLiteral("No s'han pogut restaurar les marques d'enviat desades al projecte: el projecte "
                                     "es va gravar amb 3 destinataris i ara l'origen en dona %1").arg(rows));
        }
    }

    // Marks that record no outcome lose nothing when the rows change.
    {
        Window w;
        chooseSource(w, SourceKind::Table, QStringLiteral("Socis"), QStringLiteral("Correu"));
        ASSERT_TRUE(SaveProject(w.campaign, project));
    }
    makeDatabase(4);
    Window w;
    EXPECT_EQ(LoadProject(w.campaign, project)->outcome, Outcome::NoneSaved);
}

TEST_F(ProjectFile, LoadsWhatAnyFileHoldsAndNothingMore)
{
    saveTableCampaign();
    const QByteArray whole = readAll(project);
    const qsizetype marksAt = readProjectRecord(whole).length;
    const auto load = [this](const QByteArray &bytes, Window &w) {
        ASSERT_TRUE(writeAll(project, bytes));
        w.s.setText(Setting::SmtpServer, QStringLiteral("smtp.exemple.cat"));
        ASSERT_TRUE(LoadProject(w.campaign, project));
        EXPECT_FALSE(w.campaign.isDirty());
    };

    for (qsizetype cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        Window w;
        load(whole.first(cut), w);
        // Three rows need three marks; the fourth entry is never read.
        const bool marksWhole = cut >= marksAt + 3;
        EXPECT_EQ(w.view.clearMarksEnabled, marksWhole);
        if (marksWhole) {
            EXPECT_EQ(w.markCells(), QStringList({"Si", "No", ""}));
        }
        EXPECT_EQ(w.text(Setting::SenderAddress), cut >= 2 + 14 ? QStringLiteral("jo@exemple.cat") : QString());
        EXPECT_EQ(w.text(Setting::SmtpServer), QString());
    }

    Window hostile;
    load(QByteArray::fromHex("0200 6869 FFFF 00"), hostile); // a count far beyond the end
    EXPECT_EQ(hostile.text(Setting::SenderAddress), QStringLiteral("hi"));
    EXPECT_EQ(hostile.text(Setting::SmtpServer), QString());

    QByteArray noise(256 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) >> 3);
    Window noisy;
    load(noise, noisy);
}

TEST_F(ProjectFile, KeepsTheSecurityBeyondTheRecordWhereOlderReadersDoNotLook)
{
    // A file of R marks after a load loads and saves as it was.
    saveTableCampaign();
    const QString resaved = folder.filePath(QStringLiteral("resaved.pcm"));
    const auto loadAndSave = [&](const QString &from, Window &w) {
        ASSERT_TRUE(LoadProject(w.campaign, from));
        ASSERT_TRUE(SaveProject(w.campaign, resaved));
    };
    Window first;
    loadAndSave(project, first);
    const QByteArray seedForm = readAll(resaved);
    const qsizetype marksEnd = readProjectRecord(seedForm).length + 3;
    EXPECT_EQ(seedForm, readAll(project).remove(marksEnd, 1)); // the grid fill's unused last entry
    Window second;
    loadAndSave(resaved, second);
    EXPECT_EQ(readAll(resaved), seedForm);
    EXPECT_EQ(second.s.security(), ConnectionSecurity::Automatic);

    // The new settings go after the marks, and the record stays as it was.
    second.s.setSecurity(ConnectionSecurity::StartTls);
    second.s.setText(Setting::TrustedCertificatesFile, QStringLiteral("/etc/empresa/autoritat-ç.pem"));
    EXPECT_TRUE(second.campaign.isDirty());
    ASSERT_TRUE(SaveProject(second.campaign, project));
    const QByteArray extended = readAll(project);
    ASSERT_TRUE(extended.startsWith(seedForm.first(marksEnd)));
    EXPECT_GT(extended.size(), seedForm.size());
    EXPECT_EQ(readProjectRecord(extended).record, readProjectRecord(seedForm).record);
    Window third;
    loadAndSave(project, third);
    EXPECT_EQ(third.s.security(), ConnectionSecurity::StartTls);
    EXPECT_EQ(third.text(Setting::TrustedCertificatesFile), QStringLiteral("/etc/empresa/autoritat-ç.pem"));
    EXPECT_EQ(readAll(resaved), extended);

    // Cut anywhere in the extension, or changed, the file loads its record
    // and marks, and the defaults for the rest.
    QList<QByteArray> damaged;
    for (qsizetype cut = marksEnd; cut < extended.size(); ++cut)
        damaged << extended.first(cut);
    damaged << QByteArray(extended).replace("starttls", "starttlz");
    for (const QByteArray &bytes : std::as_const(damaged)) {
        SCOPED_TRACE(bytes.size());
        ASSERT_TRUE(writeAll(project, bytes));
        Window w;
        w.s.setSecurity(ConnectionSecurity::SslTls);
        ASSERT_TRUE(LoadProject(w.campaign, project));
        EXPECT_EQ(w.text(Setting::SenderAddress), QStringLiteral("jo@exemple.cat"));
        EXPECT_EQ(w.markCells(), QStringList({"Si", "No", ""}));
        EXPECT_EQ(w.s.security(), ConnectionSecurity::Automatic);
        EXPECT_EQ(w.text(Setting::TrustedCertificatesFile), QString());
    }
}

TEST_F(ProjectFile, KeepsTheTextsTheRecordCannotSpellBeyondIt)
{
    const QString subject = QStringLiteral("Καλημέρα <<<Nom>>>");
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("Łódź")));
    const QString body = folder.filePath(QStringLiteral("Łódź/cos.htm"));
    ASSERT_TRUE(writeAll(body, "<p>Hola</p>"));
    Window w;
    w.s.setText(Setting::MessageSubject, subject);
    w.s.setBodyKind(BodyKind::File);
    w.s.setText(Setting::BodySource, body);
    chooseSource(w, SourceKind::Table, QStringLiteral("Socis"), QStringLiteral("Correu"));
    ASSERT_TRUE(SaveProject(w.campaign, project));
    const QByteArray whole = readAll(project);

    Window reloaded;
    ASSERT_TRUE(LoadProject(reloaded.campaign, project));
    EXPECT_EQ(reloaded.text(Setting::MessageSubject), subject);
    EXPECT_EQ(reloaded.text(Setting::BodySource), body);
    EXPECT_EQ(reloaded.text(Setting::BodyText), QStringLiteral("<p>Hola</p>"));

    // The record alone, as readers of its form see it: "?" for each letter
    // Windows-1252 has not, and a body file that is not found.
    const ProjectReading reading = readProjectRecord(whole);
    const QString bodyInTheRecord = QString(body).replace(QStringLiteral("Łódź"), QStringLiteral("?ód?"));
    EXPECT_EQ(reading.record.messageSubject, QStringLiteral("???????? <<<Nom>>>"));
    EXPECT_EQ(reading.record.bodySource, bodyInTheRecord);
    const qsizetype marksEnd = reading.length + 4; // three rows and the grid fill's last entry
    ASSERT_TRUE(writeAll(project, whole.first(marksEnd)));
    Window recordOnly;
    ASSERT_TRUE(LoadProject(recordOnly.campaign, project));
    EXPECT_EQ(recordOnly.text(Setting::MessageSubject), reading.record.messageSubject);
    EXPECT_EQ(recordOnly.text(Setting::BodySource), bodyInTheRecord);
    EXPECT_EQ(recordOnly.text(Setting::BodyText), QString());

    // An exact text stands only for the record's own text: one edited since
    // by a reader of the record keeps the edit.
    ProjectRecord edited = reading.record;
    edited.messageSubject = QStringLiteral("Bon dia <<<Nom>>>");
    ASSERT_TRUE(writeAll(project, writeProject(edited, "    ").value() + whole.sliced(marksEnd)));
    Window afterEdit;
    ASSERT_TRUE(LoadProject(afterEdit.campaign, project));
    EXPECT_EQ(afterEdit.text(Setting::MessageSubject), edited.messageSubject);
    EXPECT_EQ(afterEdit.text(Setting::BodySource), body);
}

TEST_F(ProjectFile, ANameThatIsNoReadableFileChangesNothing)
{
    for (const QString &name : {folder.filePath(QStringLiteral("missing.pcm")), folder.path(), QString()}) {
        SCOPED_TRACE(name.toStdString());
        Window w;
        w.campaign.setProjectPath(QStringLiteral("previous.pcm"));
        EXPECT_FALSE(LoadProject(w.campaign, name));
        EXPECT_EQ(w.text(Setting::GroupSize), QStringLiteral("20"));
        EXPECT_EQ(w.campaign.projectPath(), QStringLiteral("previous.pcm"));
        EXPECT_TRUE(w.view.calls.isEmpty());
    }
}

TEST_F(ProjectFile, WritesNothingForValuesTheFileCannotHold)
{
    struct Case {
        Setting setting;
        QString value;
        QString message;
    };
    const QString groupSize = QStringLiteral("El número d'adreces per grup ha de ser un número");
    const QString wait = QStringLiteral("El temps a esperar entre enviaments ha de ser un número");
    const Case cases[] = {
        {Setting::GroupSize, "abc", groupSize},
        {Setting::GroupSize, "20 adreces", groupSize},
        {Setting::GroupSize, ".", groupSize},
        {Setting::GroupSize, "+-1", groupSize},
        {Setting::WaitSeconds, "1e+", wait},
        {Setting::GroupSize, "32767.5", groupSize},
        {Setting::GroupSize, "-32769", groupSize},
        {Setting::WaitSeconds, " ", wait},
        {Setting::WaitSeconds, "1,5", wait},
        {Setting::WaitSeconds, "3e9", wait},
        {Setting::AttachmentList, QString(65536, u'x'), "El camp \"Annexos\" és massa llarg"},
    };
    const QByteArray before("previous contents");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value.left(20).toStdString());
        ASSERT_TRUE(writeAll(project, before));
        Window w;
        w.s.setText(c.setting, c.value);
        EXPECT_FALSE(SaveProject(w.campaign, project));
        ASSERT_EQ(w.view.messages.size(), 1u);
        EXPECT_TRUE(w.view.messages[0].text.startsWith(c.message)) << w.view.messages[0].text;
        EXPECT_EQ(w.view.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(readAll(project), before);
        EXPECT_TRUE(w.campaign.isDirty());
    }

    // The edges are stored, and so is a statement too long for a table source,
    // which does not store it.
    Window w;
    w.s.setText(Setting::GroupSize, QStringLiteral(" -32768 "));
    w.s.setText(Setting::WaitSeconds, QStringLiteral("2147483647.4"));
    w.s.setText(Setting::SqlStatement, QString(65536, u'x'));
    ASSERT_TRUE(SaveProject(w.campaign, project)) << w.view.messageTexts().join(u'\n');
    const ProjectRecord stored = readProjectRecord(readAll(project)).record;
    EXPECT_EQ(stored.groupSize, -32768);
    EXPECT_EQ(stored.waitSeconds, 2147483647);
}

TEST_F(ProjectFile, AFailedSaveLeavesThePreviousFileAsItWas)
{
    saveTableCampaign();
    const QByteArray previous = readAll(project);
    ASSERT_TRUE(QFile::setPermissions(project, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));

    Window w;
    bool hookRan = false;
    EXPECT_FALSE(SaveProject(w.campaign, project, [&] {
        hookRan = true;
        return std::optional<QString>(QStringLiteral("No queda espai al dispositiu"));
    }));
    EXPECT_TRUE(hookRan);
    EXPECT_EQ(w.view.messageTexts(), QStringList{"No s'ha pogut gravar l'arxiu de projecte: No queda espai al dispositiu"});
    EXPECT_EQ(readAll(project), previous);
    EXPECT_TRUE(w.campaign.isDirty());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList({"campanya.pcm", "socis.sqlite"}));

    // A folder that does not exist: the system's reason.
    const QString failure = QStringLiteral("No s'ha pogut gravar l'arxiu de projecte: ");
    EXPECT_FALSE(SaveProject(w.campaign, folder.filePath(QStringLiteral("no/such/c.pcm"))));
    ASSERT_EQ(w.view.messages.size(), 2u);
    EXPECT_TRUE(w.view.messages[1].text.startsWith(failure));
    EXPECT_GT(w.view.messages[1].text.size(), failure.size());

    // Then the shorter campaign replaces the old file whole, private again.
    ASSERT_TRUE(SaveProject(w.campaign, project));
    const QByteArray saved = readAll(project);
    EXPECT_EQ(readProjectRecord(saved).length, 52);
    EXPECT_EQ(readProjectExtension(saved.mid(52)).keys(), QList<QByteArray>{"campanya"});
    EXPECT_EQ(modeOf(project), 0600u);
}

TEST_F(ProjectFile, NoStatementEverChangesTheRecipientDatabase)
{
    struct Source {
        const char *name;
        QString path;
        QString table;
        QString field;
    };
    const Source sources[] = {
        {"SQLite", database, QStringLiteral("Socis"), QStringLiteral("Correu")},
        {"Access", test::copySharedDatabase(QStringLiteral("nwind.mdb"), folder), QStringLiteral("Shippers"),
         QStringLiteral("CompanyName")},
    };
    struct Case {
        const char *name;
        const char *statement;
        bool isQuery;
    };
    const Case cases[] = {
        {"delete", "DELETE FROM %1", false},
        {"update", "UPDATE %1 SET %2 = 'x'", false},
        {"insert", "INSERT INTO %1 (%2) VALUES ('x')", false},
        {"drop", "DROP TABLE %1", false},
        {"a query, then a delete", "SELECT 1; DELETE FROM %1", false},
        {"a query in lower case after blanks and comments", "  \n-- tots; sense excepció\n /* ; */ select * from %1 ; ", true},
    };
    const QString refusal = QStringLiteral("Només es pot fer servir una consulta SELECT: el programa no modifica mai la base de dades de destinataris");
    for (const Source &source : sources) {
        ASSERT_FALSE(source.path.isEmpty());
        const QByteArray before = readAll(source.path);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(source.name) + ": " + c.name);
            {
                Window w;
                w.s.setText(Setting::DatabaseSource, source.path);
                w.s.setSourceKind(SourceKind::Sql);
                w.s.setText(Setting::SqlStatement, QString::fromUtf8(c.statement).arg(source.table, source.field));
                w.s.setText(Setting::AddressField, source.field);
                ASSERT_TRUE(SaveProject(w.campaign, project));
            }
            Window w;
            ASSERT_TRUE(LoadProject(w.campaign, project));
            EXPECT_TRUE(readAll(source.path) == before) << "the database changed";
            if (c.isQuery) {
                EXPECT_EQ(w.campaign.grid().dataRowCount(), 3);
                EXPECT_EQ(w.view.messageTexts(), QStringList());
            } else {
                EXPECT_EQ(w.campaign.grid().dataRowCount(), 0);
                EXPECT_FALSE(w.view.messages.empty());
                for (const QString &message : w.view.messageTexts())
                    EXPECT_EQ(message, refusal);
            }
        }
    }
}

// The example's project, moved whole with its files to another folder, finds
// them there by their relative paths, as the window and tramelo-run read them;
// the paths are saved again as they were written.
TEST(ProjectPaths, AProjectMovedWholeFindsItsFilesByTheirRelativePaths)
{
    QTemporaryDir folder;
    for (const char *name : {"exemple.pcm", "destinataris.sqlite", "cos.htm", "logo.png"})
        ASSERT_TRUE(QFile::copy(test::sourceDir() + "/examples/" + name, folder.filePath(name)));
    Window w;
    ASSERT_TRUE(LoadProject(w.campaign, folder.filePath("exemple.pcm")));
    EXPECT_EQ(w.campaign.tableList(), QStringList{"Destinataris"});
    EXPECT_TRUE(w.text(Setting::BodyText).contains("<<<Nom>>>"));
    w.s.setText(Setting::AttachmentList, "cos.htm; /absolut.pdf");
    EXPECT_EQ(BuildAttachmentList(w.campaign), folder.filePath("logo.png") + ";" + folder.filePath("cos.htm") + "; /absolut.pdf");
    ASSERT_TRUE(SaveProject(w.campaign, folder.filePath("exemple.pcm")));
    QFile saved(folder.filePath("exemple.pcm"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const ProjectRecord record = readProjectRecord(saved.readAll()).record;
    EXPECT_EQ(QStringList({record.databaseSource, record.bodySource}), QStringList({"destinataris.sqlite", "cos.htm"}));
}
