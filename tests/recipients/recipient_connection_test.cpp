#include "recipient_connection.h"
#include "connection_strings.h"
#include "csv_database.h"
#include "odbc_picker.h"
#include "query_control.h"
#include "sqlite_database.h"
#include "test_databases.h"
#include "gtest_qt_printers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tramelo;
using tramelo::test::copySharedDatabase;
using tramelo::test::createSqliteDatabase;

namespace {

QString jet(const QString &path)
{
    return connectionStringFor(path);
}

class Northwind : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        path = copySharedDatabase(QStringLiteral("nwind.mdb"), folder);
        ASSERT_FALSE(path.isEmpty());
        QString error;
        ASSERT_TRUE(connection.open(jet(path), error)) << error.toStdString();
    }

    std::unique_ptr<RecordSnapshot> snapshot(const QString &sql)
    {
        QString error;
        std::unique_ptr<RecordSnapshot> rows = connection.openSnapshot(sql, error);
        EXPECT_TRUE(rows) << error.toStdString();
        return rows;
    }

    QTemporaryDir folder;
    QString path;
    RecipientConnection connection;
};

TEST_F(Northwind, ListsTablesAndViewsButNoSystemTables)
{
    QString error;
    const std::optional<QStringList> tables = connection.tableNames(error);
    ASSERT_TRUE(tables) << error.toStdString();
    for (const char *name : {"Customers", "Employees", "Order Details", "Orders", "Umsätze", "Invoices", "Sales by Category"})
        EXPECT_TRUE(tables->contains(QString::fromUtf8(name))) << name;
    for (const QString &name : *tables)
        EXPECT_FALSE(name.startsWith(QLatin1String("MSys"))) << name.toStdString();
}

TEST_F(Northwind, ReadsEveryCustomerInOrderWithAccentsAndNulls)
{
    std::unique_ptr<RecordSnapshot> customers = snapshot(QStringLiteral("Select * From [Customers]"));
    ASSERT_TRUE(customers);
    EXPECT_EQ(customers->recordCount(), 91);
    EXPECT_EQ(customers->fieldNames().first(), "CustomerID");
    EXPECT_EQ(customers->fieldCount(), 11);

    QStringList names;
    QString previousId;
    bool inOrder = true;
    for (; !customers->atEnd(); customers->moveNext()) {
        const QString id = customers->value(QStringLiteral("CustomerID")).value_or(QString());
        inOrder = inOrder && previousId < id;
        previousId = id;
        names.append(customers->value(QStringLiteral("companyname")).value_or(QString()));
    }
    EXPECT_TRUE(inOrder);
    for (const char *name : {"Antonio Moreno Taquería", "Berglunds snabbköp", "Königlich Essen", "Tradição Hipermercados",
                             "Océano Atlántico Ltda."})
        EXPECT_TRUE(names.contains(QString::fromUtf8(name))) << name;

    customers = snapshot(QStringLiteral("Select * From [Customers]"));
    EXPECT_EQ(customers->value(QStringLiteral("CustomerID")), QStringLiteral("ALFKI"));
    EXPECT_EQ(customers->value(QStringLiteral("Region")), std::nullopt);
}

TEST_F(Northwind, OpensStatementsNamingTablesWithAccentsAndBlanks)
{
    std::unique_ptr<RecordSnapshot> sales = snapshot(QStringLiteral("Select * From [Umsätze]"));
    ASSERT_TRUE(sales);
    EXPECT_EQ(sales->recordCount(), 830);

    QString error;
    EXPECT_EQ(connection.fieldNames(QStringLiteral("Select * From [Order Details]"), error),
              QStringList({"OrderID", "ProductID", "UnitPrice", "Quantity", "Discount"}));

    std::unique_ptr<RecordSnapshot> mexico =
        snapshot(QStringLiteral("Select CompanyName From [Customers] Where City = 'México D.F.'"));
    ASSERT_TRUE(mexico);
    EXPECT_EQ(mexico->recordCount(), 5);
}

TEST_F(Northwind, ReadsMemoAndPictureColumnsWhole)
{
    std::unique_ptr<RecordSnapshot> employees = snapshot(QStringLiteral("Select * From [Employees]"));
    ASSERT_TRUE(employees);
    EXPECT_EQ(employees->recordCount(), 9);
    EXPECT_GT(employees->value(QStringLiteral("Notes")).value_or(QString()).size(), 100);
}

TEST_F(Northwind, AStatementThatCannotBeOpenedGivesTheDriversText)
{
    QString error;
    EXPECT_FALSE(connection.openSnapshot(QStringLiteral("Select * From [Clients que no hi són]"), error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(connection.fieldNames(QStringLiteral("Selec malament"), error));
    EXPECT_FALSE(error.isEmpty());
}

struct RefusedSource {
    const char *description;
    QString connectionString;
};

TEST(RecipientConnection, RefusesWhatIsNotADatabase)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString text = folder.filePath(QStringLiteral("llegeix-me.mdb"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Aixo no es una base de dades\n");
    file.close();

    const RefusedSource sources[] = {
        {"missing Access file", jet(folder.filePath(QStringLiteral("cap.mdb")))},
        {"text file", jet(text)},
        {"drive path", jet(QStringLiteral("C:\\dades\\clients.mdb"))},
        {"unknown data source", QStringLiteral("DSN=TrameloCapOrigen;UID=anna;PWD=x")},
        {"unknown driver", QStringLiteral("DRIVER={MySQL ODBC 8.0 Unicode Driver};SERVER=127.0.0.1")},
    };
    for (const RefusedSource &source : sources) {
        RecipientConnection connection;
        QString error;
        EXPECT_FALSE(connection.open(source.connectionString, error)) << source.description;
        EXPECT_FALSE(connection.isOpen()) << source.description;
    }
}

TEST(RecipientConnection, AnUnopenedConnectionReportsEveryStatement)
{
    RecipientConnection connection;
    QString error;
    EXPECT_FALSE(connection.openSnapshot(QStringLiteral("Select * From [Clients]"), error));
    EXPECT_EQ(error, "La connexió amb la base de dades no està oberta");
    error.clear();
    EXPECT_FALSE(connection.tableNames(error));
    EXPECT_FALSE(error.isEmpty());
}

// Every reading of a statement gives the same rows: whole or streamed.
using OpenSnapshot = std::unique_ptr<RecordSnapshot> (RecipientConnection::*)(const QString &, QString &) const;
const OpenSnapshot openings[] = {&RecipientConnection::openSnapshot, &RecipientConnection::openStreamedSnapshot};

class SqliteSource : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    // Creates the file and opens it as the operator would name it.
    void open(const QString &fileName, const QStringList &statements)
    {
        path = folder.filePath(fileName);
        QString error;
        ASSERT_TRUE(createSqliteDatabase(path, statements, error)) << error.toStdString();
        ASSERT_TRUE(connection.open(jet(path), error)) << error.toStdString();
    }

    QTemporaryDir folder;
    QString path;
    RecipientConnection connection;
};

TEST_F(SqliteSource, KeepsNullApartFromEmptyAndAccentsIntact)
{
    open(QStringLiteral("dàdes clients.db"),
         {"CREATE TABLE \"Destinataris ç\" (\"Número\" INTEGER, Nom TEXT, \"Adreça\" TEXT, Preu REAL)",
          "INSERT INTO \"Destinataris ç\" VALUES (1, 'Núria Ferrà', 'nuria@exemple.cat', 2.5)",
          "INSERT INTO \"Destinataris ç\" VALUES (2, '', NULL, NULL)",
          "INSERT INTO \"Destinataris ç\" VALUES (3, NULL, '', 10)"});

    QString error;
    EXPECT_EQ(connection.tableNames(error), QStringList({"Destinataris ç"}));
    for (const OpenSnapshot open : openings) {
        SCOPED_TRACE(open == &RecipientConnection::openSnapshot ? "whole" : "streamed");
        std::unique_ptr<RecordSnapshot> rows = (connection.*open)(QStringLiteral("Select * From [Destinataris ç]"), error);
        ASSERT_TRUE(rows) << error.toStdString();
        EXPECT_EQ(rows->fieldNames(), QStringList({"Número", "Nom", "Adreça", "Preu"}));
        EXPECT_EQ(rows->recordCount(), 3);

        using Row = std::vector<RecordSnapshot::Value>;
        std::vector<Row> read;
        for (; !rows->atEnd(); rows->moveNext())
            read.push_back({rows->value(0), rows->value(1), rows->value(2), rows->value(3)});
        const std::vector<Row> expected = {
            {"1", "Núria Ferrà", "nuria@exemple.cat", "2.5"},
            {"2", "", std::nullopt, std::nullopt},
            {"3", std::nullopt, "", "10.0"},
        };
        EXPECT_EQ(read, expected);
    }
}

TEST_F(SqliteSource, MovesBackAndForthOverTheSnapshot)
{
    open(QStringLiteral("clients.db"), {"CREATE TABLE Clients (Nom TEXT)", "INSERT INTO Clients VALUES ('A'), ('B')"});
    QString error;
    for (const OpenSnapshot open : openings) {
        SCOPED_TRACE(open == &RecipientConnection::openSnapshot ? "whole" : "streamed");
        std::unique_ptr<RecordSnapshot> rows = (connection.*open)(QStringLiteral("Select * From Clients"), error);
        ASSERT_TRUE(rows);
        EXPECT_EQ(rows->value(0), QStringLiteral("A"));
        rows->moveNext();
        rows->moveNext();
        EXPECT_TRUE(rows->atEnd());
        EXPECT_EQ(rows->value(0), std::nullopt);
        rows->movePrevious();
        EXPECT_EQ(rows->value(0), QStringLiteral("B"));
        rows->movePrevious();
        rows->movePrevious();
        rows->movePrevious(); // no further than one step before the first
        EXPECT_EQ(rows->value(0), std::nullopt);
        rows->moveNext();
        EXPECT_EQ(rows->value(QStringLiteral("NOM")), QStringLiteral("A"));
    }
}

// A streamed snapshot whose source fails at a row ends at the last row it
// read, which is still one step back, and says why.
TEST(StreamedSnapshot, ARowThatCannotBeReadEndsItWithTheRowBeforeIntact)
{
    struct FailingAtThirdRow : RecordSnapshot::RowReader {
        int rows = 0;
        bool readRow(std::vector<RecordSnapshot::Value> &values, QString &error) override
        {
            if (++rows == 3) {
                values.assign(1, QStringLiteral("mig llegida"));
                error = QStringLiteral("disc malmès");
                return false;
            }
            values.assign(1, QString::number(rows));
            return true;
        }
    };
    RecordSnapshot rows({QStringLiteral("N")}, 5, std::make_unique<FailingAtThirdRow>());
    rows.moveNext();
    rows.moveNext();
    EXPECT_TRUE(rows.atEnd());
    EXPECT_EQ(rows.recordCount(), 2);
    EXPECT_EQ(rows.readFailure(), QStringLiteral("disc malmès"));
    rows.movePrevious();
    EXPECT_EQ(rows.value(0), QStringLiteral("2"));
    rows.movePrevious();
    EXPECT_EQ(rows.value(0), QStringLiteral("1"));
}

TEST_F(SqliteSource, AStatementWithoutRowsStillHasItsFields)
{
    open(QStringLiteral("buida.db"), {"CREATE TABLE Clients (Nom TEXT, Correu TEXT)"});
    QString error;
    std::unique_ptr<RecordSnapshot> rows = connection.openSnapshot(QStringLiteral("Select * From [Clients]"), error);
    ASSERT_TRUE(rows) << error.toStdString();
    EXPECT_EQ(rows->recordCount(), 0);
    EXPECT_TRUE(rows->atEnd());
    EXPECT_EQ(rows->fieldNames(), QStringList({"Nom", "Correu"}));
}

TEST_F(SqliteSource, ReadsValuesLongerThanOneReadWhole)
{
    // Accented letters around every boundary of the driver's reads.
    QString note;
    for (int i = 0; i < 3000; ++i)
        note += (i % 2 ? QStringLiteral("à") : QStringLiteral("b"));
    open(QStringLiteral("llarg.db"), {"CREATE TABLE Notes (Text TEXT)", "INSERT INTO Notes VALUES ('" + note + "')"});
    QString error;
    for (const OpenSnapshot open : openings) {
        std::unique_ptr<RecordSnapshot> rows = (connection.*open)(QStringLiteral("Select * From Notes"), error);
        ASSERT_TRUE(rows) << error.toStdString();
        EXPECT_EQ(rows->value(0), note);
    }
}

TEST_F(SqliteSource, OpensAFileNamedFromTheHomeFolder)
{
    // The tests' home folder is a private one that may not exist yet.
    ASSERT_TRUE(QDir().mkpath(QDir::homePath()));
    QTemporaryDir home(QDir::homePath() + QStringLiteral("/tramelo-XXXXXX"));
    ASSERT_TRUE(home.isValid());
    QString error;
    const QString file = home.filePath(QStringLiteral("clients.db"));
    ASSERT_TRUE(createSqliteDatabase(file, {"CREATE TABLE Clients (Nom TEXT)"}, error));
    const QString typed = QStringLiteral("~") + file.mid(QDir::homePath().size());
    RecipientConnection fromHome;
    EXPECT_TRUE(fromHome.open(jet(typed), error)) << error.toStdString();
}

TEST(OdbcPicker, KnowsTheRegisteredDriversAndCompletesAReachableSource)
{
    QString error;
    const std::optional<QList<OdbcListEntry>> drivers = odbcDrivers(error);
    ASSERT_TRUE(drivers) << error.toStdString();
    QStringList names;
    for (const OdbcListEntry &driver : *drivers)
        names.append(driver.name);
    EXPECT_TRUE(names.contains("MDBTools"));
    EXPECT_TRUE(names.contains("SQLite3"));
    EXPECT_TRUE(odbcDataSources(error)) << error.toStdString();

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("clients.db"));
    ASSERT_TRUE(createSqliteDatabase(path, {"CREATE TABLE Clients (Nom TEXT)"}, error));
    const std::optional<QString> completed =
        completeOdbcConnectString(QStringLiteral("ODBC;DRIVER={SQLite3};Database=") + path, error);
    ASSERT_TRUE(completed) << error.toStdString();
    EXPECT_TRUE(completed->startsWith("ODBC;"));
    EXPECT_TRUE(completed->contains(path));

    error.clear();
    EXPECT_FALSE(completeOdbcConnectString(QStringLiteral("ODBC;DSN=TrameloCapOrigen"), error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace

// What a statement may do on an SQLite file and on a CSV file's copy, asked
// of the database itself (a statement that is no single query never gets
// this far): reading and SQLite's own functions, nothing that loads code,
// reaches files or writes; and no statement runs past the time limit.
TEST(SqliteAccess, AStatementMayOnlyReadAndCallSqlitesOwnFunctions)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("clients.sqlite"));
    const QString marker = folder.filePath(QStringLiteral("codi-executat"));
    const QString library = QStringLiteral(TRAMELO_CODE_MARKER_LIBRARY);
    ASSERT_TRUE(qputenv("TRAMELO_CODE_MARKER", QFile::encodeName(marker)));
    QString error;
    ASSERT_TRUE(createSqliteDatabase(path, {"CREATE TABLE Clients (Nom TEXT)", "INSERT INTO Clients VALUES ('Anna')",
                                            "CREATE VIEW Parany AS SELECT Nom, load_extension('" + library + "') FROM Clients"},
                                     error))
        << error.toStdString();
    const QString csvPath = folder.filePath(QStringLiteral("Clients.csv"));
    QFile csvFile(csvPath);
    ASSERT_TRUE(csvFile.open(QIODevice::WriteOnly) && csvFile.write("Nom\nAnna\n") == 9);
    csvFile.close();
    const auto bytes = [](const QString &file) {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    };
    const QByteArray before = bytes(path);
    const std::unique_ptr<CsvDatabase> csvCopy = CsvDatabase::load(csvPath, error);
    ASSERT_TRUE(csvCopy) << error.toStdString();

    const QString refusedFunction = QStringLiteral("La instrucció SQL fa servir una funció no permesa: ");
    const QString refusedOperation = QStringLiteral("La instrucció SQL fa una operació no permesa: ");
    struct Case {
        QString sql;
        QString error; // empty when the statement runs
        bool fileOnly = false;
    };
    const Case cases[] = {
        {"SELECT upper(Nom) || '@example.com', count(*) OVER (), date('2024-01-31', '+1 day'), json_extract('[7]', '$[0]') FROM Clients", {}},
        {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3) SELECT group_concat(i) FROM n", {}},
        {"SELECT Nom, load_extension('" + library + "') FROM Clients", refusedFunction + "load_extension"},
        {"SELECT * FROM Parany", refusedFunction + "load_extension", true},
        {"SELECT fts3_tokenizer('simple')", refusedFunction + "fts3_tokenizer"},
        {"SELECT sqlite_compileoption_get(0)", refusedFunction + "sqlite_compileoption_get"},
        {"SELECT writefile('x', Nom) FROM Clients", "no such function: writefile"},
        {"SELECT * FROM pragma_table_info('Clients')", refusedOperation + "fer servir una taula virtual"},
        {"PRAGMA journal_mode = WAL", refusedOperation + "PRAGMA journal_mode"},
        {"ATTACH '" + folder.filePath("nova.db") + "' AS nova", refusedOperation + "ATTACH"},
        {"DELETE FROM Clients", refusedOperation + "escriure a la taula Clients"},
        {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n",
         queryTimedOutMessage(std::chrono::seconds(1))},
    };
    for (const QString &source : {path, csvCopy->uri()}) {
        SCOPED_TRACE(source.toStdString());
        const std::unique_ptr<SqliteDatabase> database = SqliteDatabase::open(source, std::chrono::seconds(1), error);
        ASSERT_TRUE(database) << error.toStdString();
        for (const Case &c : cases) {
            if (c.fileOnly && source != path)
                continue;
            SCOPED_TRACE(c.sql.toStdString());
            error.clear();
            QElapsedTimer clock;
            clock.start();
            const std::unique_ptr<QueryRows> rows = database->execute(c.sql, error);
            EXPECT_EQ(error, c.error);
            EXPECT_EQ(rows != nullptr, c.error.isEmpty());
            EXPECT_LT(clock.elapsed(), 3000);
        }
    }
    EXPECT_FALSE(QFileInfo::exists(marker)) << "the library was loaded";
    EXPECT_TRUE(bytes(path) == before) << "the file changed";
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("nova.db"))));
    EXPECT_EQ(bytes(csvPath), QByteArray("Nom\nAnna\n"));
}
