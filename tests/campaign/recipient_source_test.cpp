#include "address_field_choice.h"
#include "campaign.h"
#include "fake_campaign_view.h"
#include "gtest_qt_printers.h"
#include "recipient_connection.h"
#include "recipient_grid.h"
#include "recipient_source.h"
#include "test_databases.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tramelo;
using tramelo::test::FakeCampaignView;

namespace {

class RecipientSource : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        northwind = test::copySharedDatabase(QStringLiteral("nwind.mdb"), folder);
        ASSERT_FALSE(northwind.isEmpty());
        clients = folder.filePath(QStringLiteral("clients.db"));
        QString error;
        ASSERT_TRUE(test::createSqliteDatabase(clients,
            {"CREATE TABLE Clients (Nom TEXT, Correu TEXT, Ciutat TEXT)",
             "INSERT INTO Clients VALUES ('Anna', 'anna@example.cat', 'Vic')",
             "INSERT INTO Clients VALUES ('Berta', NULL, 'Olot')",
             "INSERT INTO Clients VALUES ('Pere Àlvarez', 'pere@example.cat', NULL)",
             "CREATE TABLE \"Clients antics\" (Nom TEXT, Correu TEXT)",
             "CREATE TABLE Buida (Nom TEXT, Correu TEXT)"}, error)) << error.toStdString();
    }

    CampaignSettings &settings() { return campaign.settings(); }
    QString text(Setting setting) { return settings().text(setting); }

    void openDatabase(const QString &source, bool resetDelimiters = true)
    {
        settings().setText(Setting::DatabaseSource, source);
        OpenRecipientDatabase(campaign, resetDelimiters);
    }

    // The operator's path from the database box to a filled grid.
    void fillFromTable(const QString &table, const QString &addressField)
    {
        openDatabase(clients);
        settings().setText(Setting::TableName, table);
        LoadFieldList(campaign);
        settings().setText(Setting::AddressField, addressField);
        FillRecipientGrid(campaign);
    }

    QStringList gridRow(int row)
    {
        QStringList cells;
        for (int column = 0; column < campaign.grid().gridColumnCount(); ++column)
            cells.append(campaign.grid().cellText(row, column));
        return cells;
    }

    QTemporaryDir folder;
    QString northwind;
    QString clients;
    FakeCampaignView view;
    Campaign campaign{view};
};

TEST_F(RecipientSource, ABlankDatabaseBoxChangesNothing)
{
    campaign.setTableList({"Clients"});
    settings().setText(Setting::TableQuoteLeft, "<");
    openDatabase(QStringLiteral("   "));
    EXPECT_TRUE(view.calls.isEmpty());
    EXPECT_EQ(campaign.tableList(), QStringList({"Clients"}));
    EXPECT_EQ(text(Setting::TableQuoteLeft), "<");
}

TEST_F(RecipientSource, AnAccessFileListsItsTablesWithBracketDelimiters)
{
    settings().setText(Setting::TableName, "Vell");
    settings().setText(Setting::AddressField, "Vell");
    campaign.setFieldList({"Vell"});
    settings().setText(Setting::TableQuoteLeft, "`");
    settings().setText(Setting::TableQuoteRight, "`");

    openDatabase(northwind, false); // an Access file takes brackets whatever the flag says

    EXPECT_EQ(view.calls, QStringList({"busy on", "busy off"}));
    EXPECT_TRUE(campaign.tableList().contains("Customers"));
    EXPECT_TRUE(campaign.tableList().contains("Umsätze"));
    EXPECT_FALSE(campaign.tableList().contains("MSysModules"));
    EXPECT_TRUE(campaign.fieldList().isEmpty());
    EXPECT_EQ(text(Setting::TableName), "");
    EXPECT_EQ(text(Setting::AddressField), "");
    EXPECT_EQ(text(Setting::TableQuoteLeft), "[");
    EXPECT_EQ(text(Setting::TableQuoteRight), "]");
}

TEST_F(RecipientSource, NorthwindCustomersFillTheGridInOrderWithAccents)
{
    openDatabase(northwind);
    settings().setText(Setting::TableName, "Customers");
    LoadFieldList(campaign);
    ASSERT_EQ(text(Setting::SqlStatement), "Select * From [Customers]");
    ASSERT_TRUE(campaign.fieldList().contains("CompanyName"));
    settings().setText(Setting::AddressField, "CompanyName");
    FillRecipientGrid(campaign);

    const RecipientGrid &grid = campaign.grid();
    ASSERT_EQ(grid.dataRowCount(), 91);
    EXPECT_EQ(grid.sentMarks().size(), 92);
    EXPECT_EQ(gridRow(0).mid(0, 4), QStringList({"Enviat", "Adreça de correu electrònic", "CustomerID", "CompanyName"}));
    EXPECT_EQ(grid.cellText(1, 2), "ALFKI");
    QStringList companies;
    for (int row = 1; row <= grid.dataRowCount(); ++row)
        companies.append(grid.cellText(row, 1));
    EXPECT_EQ(companies.indexOf("Antonio Moreno Taquería"), 2);
    EXPECT_TRUE(companies.contains("Königlich Essen"));
    EXPECT_TRUE(view.gridShown);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(RecipientSource, AFieldListOfATableWithABlankLoadsThroughTheDelimiters)
{
    openDatabase(northwind);
    settings().setText(Setting::TableName, "Order Details");
    LoadFieldList(campaign);
    EXPECT_EQ(text(Setting::SqlStatement), "Select * From [Order Details]");
    EXPECT_EQ(campaign.fieldList(), QStringList({"OrderID", "ProductID", "UnitPrice", "Quantity", "Discount"}));
}

struct DelimiterCase {
    const char *source;
    bool resetDelimiters;
    const char *expectedLeft;
};

TEST_F(RecipientSource, ConnectStringsResetTheDelimitersOnlyWhenAllowed)
{
    const DelimiterCase cases[] = {
        {"DRIVER={MySQL ODBC 8.0 Unicode Driver};SERVER=127.0.0.1", true, "`"},
        {"DRIVER={MySQL ODBC 8.0 Unicode Driver};SERVER=127.0.0.1", false, "<"},
        {"DSN=TrameloCapOrigen", true, "["},
        {"DSN=TrameloCapOrigen", false, "<"},
    };
    for (const DelimiterCase &c : cases) {
        settings().setText(Setting::TableQuoteLeft, "<");
        settings().setText(Setting::TableQuoteRight, ">");
        openDatabase(QString::fromUtf8(c.source), c.resetDelimiters);
        EXPECT_EQ(text(Setting::TableQuoteLeft), QString::fromUtf8(c.expectedLeft)) << c.source << " " << c.resetDelimiters;
    }
}

TEST_F(RecipientSource, AFailedOpenEmptiesTheDatabaseBoxSoThatLeavingItAgainDoesNothing)
{
    campaign.setTableList({"Clients"});
    campaign.setDirty(false);
    openDatabase(folder.filePath(QStringLiteral("cap.mdb")));

    EXPECT_EQ(view.calls, QStringList({"busy on",
                                       "message[critical] Arxiu de base de dades incorrecte: " + folder.filePath("cap.mdb")
                                           + "\nL'arxiu no existeix",
                                       "busy off"}));
    EXPECT_EQ(text(Setting::DatabaseSource), "");
    EXPECT_TRUE(campaign.tableList().isEmpty());
    EXPECT_TRUE(campaign.isDirty());
    EXPECT_FALSE(campaign.connection().isOpen());

    view.calls.clear();
    OpenRecipientDatabase(campaign, false);
    EXPECT_TRUE(view.calls.isEmpty());
}

TEST_F(RecipientSource, AMalformedCsvFileIsRefusedNamingItsLine)
{
    QFile csv(folder.filePath(QStringLiteral("clients.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly) && csv.write("Nom,Correu\n\"Anna,anna@example.cat\n") > 0);
    csv.close();
    openDatabase(csv.fileName());
    EXPECT_EQ(view.calls, QStringList({"busy on", "message[critical] Arxiu CSV mal format a la línia 2: les cometes obertes no es tanquen", "busy off"}));
    EXPECT_EQ(text(Setting::DatabaseSource), "");
}

TEST_F(RecipientSource, LeavingTheUnchangedBoxReloadsTablesAndForgetsTheChoicesButNotTheGrid)
{
    fillFromTable("Clients", "Correu");
    ASSERT_EQ(campaign.grid().dataRowCount(), 3);
    OpenRecipientDatabase(campaign, false);
    EXPECT_EQ(campaign.tableList(), QStringList({"Clients", "Clients antics", "Buida"}));
    EXPECT_EQ(text(Setting::TableName), "");
    EXPECT_EQ(text(Setting::AddressField), "");
    EXPECT_TRUE(campaign.fieldList().isEmpty());
    EXPECT_EQ(campaign.grid().dataRowCount(), 3);
    EXPECT_EQ(campaign.grid().sentMarks().size(), 4);
}

struct StatementCase {
    const char *left;
    const char *right;
    const char *table;
    const char *statement;
    QStringList fields;
};

TEST_F(RecipientSource, TheTableStatementPutsTheDelimitersAroundTheName)
{
    const StatementCase cases[] = {
        {"[", "]", "Clients", "Select * From [Clients]", {"Nom", "Correu", "Ciutat"}},
        {"`", "`", "Clients antics", "Select * From `Clients antics`", {"Nom", "Correu"}},
        {"", "", "Clients", "Select * From Clients", {"Nom", "Correu", "Ciutat"}},
    };
    openDatabase(clients);
    for (const StatementCase &c : cases) {
        settings().setText(Setting::TableQuoteLeft, QString::fromUtf8(c.left));
        settings().setText(Setting::TableQuoteRight, QString::fromUtf8(c.right));
        settings().setText(Setting::TableName, QString::fromUtf8(c.table));
        LoadFieldList(campaign);
        EXPECT_EQ(text(Setting::SqlStatement), QString::fromUtf8(c.statement));
        EXPECT_EQ(campaign.fieldList(), c.fields) << c.statement;
    }
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(RecipientSource, NoTableChosenEmptiesTheStatementQuietly)
{
    openDatabase(clients);
    settings().setText(Setting::SqlStatement, "Select * From Clients");
    campaign.setFieldList({"Nom"});
    LoadFieldList(campaign);
    EXPECT_EQ(text(Setting::SqlStatement), "");
    EXPECT_TRUE(campaign.fieldList().isEmpty());
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(RecipientSource, ATypedStatementIsUsedAsItIsUntilATableIsPicked)
{
    openDatabase(clients);
    settings().setSourceKind(SourceKind::Sql);
    settings().setText(Setting::SqlStatement, "Select Correu, Nom From Clients Where Ciutat Is Not Null");
    LoadFieldList(campaign);
    EXPECT_EQ(campaign.fieldList(), QStringList({"Correu", "Nom"}));
    settings().setText(Setting::AddressField, "Correu");
    FillRecipientGrid(campaign);
    EXPECT_EQ(campaign.grid().dataRowCount(), 2);

    settings().setSourceKind(SourceKind::Table);
    settings().setText(Setting::TableName, "Clients antics");
    LoadFieldList(campaign);
    EXPECT_EQ(text(Setting::SqlStatement), "Select * From [Clients antics]");
}

TEST_F(RecipientSource, AStatementThatCannotBeOpenedIsSaidInCatalanThenInTheDriversOwnText)
{
    openDatabase(clients);
    settings().setSourceKind(SourceKind::Sql);
    settings().setText(Setting::SqlStatement, "Select * From Proveidors");
    LoadFieldList(campaign);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(view.messages[0].text.startsWith("La base de dades no ha acceptat la instrucció SQL. Resposta del controlador:\n"));
    EXPECT_TRUE(view.messages[0].text.contains("no such table: Proveidors")) << view.messages[0].text.toStdString();
    EXPECT_TRUE(campaign.fieldList().isEmpty());
    EXPECT_EQ(view.busyDepth, 0);
}

TEST_F(RecipientSource, AnAddressFieldIsJudgedByItsFirstHundredNonEmptyValues)
{
    // 30 blank values (not counted), 100 that are no address, then one: the 100th value is looked at, the 101st not.
    const QString longer = folder.filePath("llarga.db");
    QString error;
    ASSERT_TRUE(test::createSqliteDatabase(longer, {"CREATE TABLE L (Ordre INTEGER, Correu TEXT)",
        "INSERT INTO L WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 131) SELECT i, CASE "
        "WHEN i <= 15 THEN NULL WHEN i <= 30 THEN ' ' WHEN i <= 130 THEN 'Nom' ELSE 'a@example.cat' END FROM n"}, error));
    openDatabase(longer);
    settings().setSourceKind(SourceKind::Sql);
    for (const char *statement : {"Select Correu From L Where Ordre <> 31 Order By Ordre", "Select Correu From L Order By Ordre"}) {
        settings().setText(Setting::SqlStatement, statement);
        LoadFieldList(campaign);
        view.answers = {Answer::Yes};
        ChooseAddressField(campaign, "Correu");
    }
    EXPECT_EQ(view.questions, QStringList{"El camp triat no conté cap adreça de correu vàlida. Vols fer-lo servir igualment?"});
}

TEST_F(RecipientSource, TheGridShowsAddressThenFieldsInOrderWithNullsEmpty)
{
    fillFromTable("Clients", "Correu");
    EXPECT_EQ(gridRow(0), QStringList({"Enviat", "Adreça de correu electrònic", "Nom", "Correu", "Ciutat", "Resposta"}));
    EXPECT_EQ(gridRow(1), QStringList({"", "anna@example.cat", "Anna", "anna@example.cat", "Vic", ""}));
    EXPECT_EQ(gridRow(2), QStringList({"", "", "Berta", "", "Olot", ""}));
    EXPECT_EQ(gridRow(3), QStringList({"", "pere@example.cat", "Pere Àlvarez", "pere@example.cat", "", ""}));
    EXPECT_EQ(campaign.grid().sentMarks(), QByteArray("    "));
}

TEST_F(RecipientSource, AStatementWithoutRowsLeavesOnlyTheHeaderRow)
{
    fillFromTable("Buida", "Correu");
    EXPECT_EQ(campaign.grid().dataRowCount(), 0);
    EXPECT_EQ(gridRow(0), QStringList({"Enviat", "Adreça de correu electrònic", "Nom", "Correu", "Resposta"}));
    EXPECT_EQ(campaign.grid().sentMarks(), QByteArray(" "));
}

TEST_F(RecipientSource, NoAddressFieldMeansNoFill)
{
    openDatabase(clients);
    settings().setText(Setting::TableName, "Clients");
    LoadFieldList(campaign);
    view.calls.clear();
    settings().setText(Setting::AddressField, "  ");
    FillRecipientGrid(campaign);
    EXPECT_TRUE(view.calls.isEmpty());
    EXPECT_EQ(campaign.grid().dataRowCount(), 0);
}

TEST_F(RecipientSource, AFillThatCannotOpenTheStatementLeavesTheHeaderRow)
{
    fillFromTable("Clients", "Correu");
    settings().setText(Setting::SqlStatement, "Select * From Proveidors");
    FillRecipientGrid(campaign);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.messages[0].text.contains("Proveidors"));
    EXPECT_EQ(campaign.grid().dataRowCount(), 0);
    EXPECT_EQ(campaign.grid().gridColumnCount(), 2);
}

TEST_F(RecipientSource, TheOdbcPickerOpensWhatItYieldsOrSaysItFailed)
{
    settings().setText(Setting::DatabaseSource, "DSN=Anterior");
    ApplyOdbcChoice(campaign, std::nullopt);
    EXPECT_EQ(view.calls, QStringList({"message[none] Error en la connexio amb l'origen de dades ODBC"}));
    EXPECT_EQ(text(Setting::DatabaseSource), "DSN=Anterior");

    settings().setText(Setting::TableQuoteLeft, "`");
    ApplyOdbcChoice(campaign, QStringLiteral("ODBC;DRIVER={SQLite3};Database=") + clients);
    EXPECT_EQ(text(Setting::DatabaseSource), QStringLiteral("DRIVER={SQLite3};Database=") + clients);
    EXPECT_EQ(campaign.tableList(), QStringList({"Clients", "Clients antics", "Buida"}));
    EXPECT_EQ(text(Setting::TableQuoteLeft), "[");
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(RecipientSource, ClearingTheMarksEmptiesCellsAndListAndHidesTheProgress)
{
    fillFromTable("Clients", "Correu");
    campaign.grid().markSent(1);
    campaign.grid().markFailed(2);
    campaign.setDirty(false);
    view.calls.clear();

    ClearSentMarks(campaign);
    EXPECT_TRUE(campaign.isDirty());
    EXPECT_EQ(campaign.grid().markText(1), "");
    EXPECT_EQ(campaign.grid().markText(2), "");
    EXPECT_EQ(campaign.grid().sentMarks(), QByteArray("    "));
    EXPECT_EQ(view.calls, QStringList({"clear marks button off", "hide run progress"}));
}

} // namespace
