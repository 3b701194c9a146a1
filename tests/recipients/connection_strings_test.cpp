#include "connection_strings.h"
#include "database_route.h"
#include "gtest_qt_printers.h"
#include "single_query.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

struct PathCase {
    const char *text;
    bool filePath;
};

class FilePathRule : public testing::TestWithParam<PathCase> {};

TEST_P(FilePathRule, TellsFilePathsFromConnectStrings)
{
    const PathCase c = GetParam();
    const QString text = QString::fromUtf8(c.text);
    EXPECT_EQ(isFilePath(text), c.filePath) << c.text;
    const QString expected = c.filePath ? QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + text : text;
    EXPECT_EQ(connectionStringFor(text), expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Cases, FilePathRule, testing::Values(
    PathCase{"C:\\dades\\clients.mdb", true},
    PathCase{"\\\\servidor\\comú\\clients.mdb", true},
    PathCase{"C:/dades/clients.mdb", false},       // forward slashes after a drive are not a path
    PathCase{"/home/anna/clients.mdb", true},
    PathCase{"~/clients.mdb", true},
    PathCase{"~anna/clients.mdb", false},
    PathCase{" /home/anna/clients.mdb", false},    // the rule reads the text as typed
    PathCase{"\\dades\\clients.mdb", false},
    PathCase{"DSN=Clients;UID=anna;PWD=secret", false},
    PathCase{"C:", false}));

struct DelimiterCase {
    const char *text;
    const char *left;
    const char *right;
    ServerKind server = ServerKind::Other; // as the driver reports it once open
};

class DefaultDelimiters : public testing::TestWithParam<DelimiterCase> {};

TEST_P(DefaultDelimiters, FollowTheKindOfSource)
{
    const DelimiterCase c = GetParam();
    const TableDelimiters delimiters = defaultDelimitersFor(QString::fromUtf8(c.text), c.server);
    EXPECT_EQ(delimiters.left, QString::fromUtf8(c.left)) << c.text;
    EXPECT_EQ(delimiters.right, QString::fromUtf8(c.right)) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Cases, DefaultDelimiters, testing::Values(
    DelimiterCase{"DRIVER={MySQL ODBC 8.0 Unicode Driver};SERVER=127.0.0.1;DATABASE=clients", "`", "`"},
    DelimiterCase{"dsn=botiga;driver=mysql", "`", "`"},
    DelimiterCase{"DSN=Clients", "[", "]"},
    DelimiterCase{"C:\\MySQL\\clients.mdb", "[", "]"},   // a file path whatever its folders are called
    DelimiterCase{"/srv/mysql/clients.mdb", "[", "]"},
    DelimiterCase{"DSN=Socis", "\"", "\"", ServerKind::PostgreSql},
    DelimiterCase{"DSN=Socis", "`", "`", ServerKind::MySql}));

struct TableCase {
    const char *type;
    const char *name;
    bool listed;
};

class TableListFilter : public testing::TestWithParam<TableCase> {};

TEST_P(TableListFilter, KeepsTablesViewsAndPassThroughQueriesOnly)
{
    const TableCase c = GetParam();
    EXPECT_EQ(isListedTable(QString::fromUtf8(c.type), QString::fromUtf8(c.name)), c.listed) << c.type << " " << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, TableListFilter, testing::Values(
    TableCase{"TABLE", "Clients", true},
    TableCase{"VIEW", "Clients actius", true},
    TableCase{"PASS-THROUGH", "Remota", true},
    TableCase{"SYSTEM TABLE", "MSysObjects", false},
    TableCase{"LINK", "Enllaçada", false},
    TableCase{"table", "Clients", false},
    TableCase{"View", "Clients", false},
    TableCase{"TABLE", "MSysModules", false},
    TableCase{"TABLE", "MSysModules2", false},
    TableCase{"TABLE", "msysmodules", true}));

// Where each connection string is read, and which ones never reach the
// driver manager. %1 stands for a folder of the test's own.
TEST(DatabaseRoute, ReadsSqliteItselfAndRefusesWhatWouldLoadCodeOrRunStatements)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto file = [&folder](const char *name, QByteArray bytes) {
        QFile out(folder.filePath(QString::fromUtf8(name)));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    };
    file("clients.db", QByteArray("SQLite format 3\0rest of the page", 32));
    file("clients.mdb", QByteArray("SQLite format 2\0", 16));
    file("socis.CSV", "Nom\n");
    file("odbc.ini", "[Fitxer]\nDriver=SQLite3\nDatabase=/srv/socis.db\nLoadExt=/tmp/logo.so\n");
    // Read by the driver manager at its first use in this process.
    ASSERT_TRUE(qputenv("ODBCINI", QFile::encodeName(folder.filePath(QStringLiteral("odbc.ini")))));

    using Engine = DatabaseRoute::Engine;
    struct Case {
        const char *text;
        std::optional<Engine> engine; // none: refused
        const char *targetOrReason;
    };
    const Case cases[] = {
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1/clients.db", Engine::Sqlite, "%1/clients.db"},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1/clients.mdb", Engine::Odbc, "DRIVER={MDBTools};DBQ=%1/clients.mdb"},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1/cap.mdb", std::nullopt, "L'arxiu no existeix"},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1/socis.CSV", Engine::Csv, "%1/socis.CSV"},
        {"DSN=Clients;UID=anna;PWD=secret", Engine::Odbc, "DSN=Clients;UID=anna;PWD=secret"},
        {"DRIVER={SQLite3};Database=/srv/socis.db;LoadExt=/tmp/logo.so", Engine::Sqlite, "/srv/socis.db"},
        {"driver=sqlite3; database=file:/srv/socis.db?mode=ro", Engine::Sqlite, "file:/srv/socis.db?mode=ro"},
        {"DSN=Fitxer", Engine::Sqlite, "/srv/socis.db"},
        {"DRIVER={SQLite3}", std::nullopt, "no diu quina base de dades cal obrir"},
        {"DRIVER=/tmp/logo.so", std::nullopt, "el controlador ODBC «/tmp/logo.so» no està registrat"},
        {"DRIVER={Cap Controlador};SERVER=x", std::nullopt, "el controlador ODBC «Cap Controlador» no està registrat"},
        {"FILEDSN=%1/x.dsn", std::nullopt, "(FILEDSN)"},
        {"DSN=Clients;SAVEFILE=%1/x.dsn", std::nullopt, "SAVEFILE"},
        {"DRIVER={PostgreSQL Unicode};A6=DELETE FROM t", std::nullopt, "l'atribut A6 executaria instruccions"},
        {"DRIVER={PostgreSQL Unicode};ConnSettings={SET x=1}", std::nullopt, "ConnSettings"},
        {"DRIVER={MariaDB Unicode};INITSTMT=DELETE FROM t", std::nullopt, "INITSTMT"},
        {"DRIVER={MariaDB Unicode};PLUGIN_DIR=%1", std::nullopt, "PLUGIN_DIR"},
        {"DRIVER={PostgreSQL Unicode};UID={a;a6=DELETE FROM t}", std::nullopt, "a6"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        QString error;
        const auto inFolder = [&folder](const char *text) { return QString::fromUtf8(text).replace(QStringLiteral("%1"), folder.path()); };
        const std::optional<DatabaseRoute> route = databaseRouteOf(inFolder(c.text), error);
        const QString expected = inFolder(c.targetOrReason);
        ASSERT_EQ(route.has_value(), c.engine.has_value()) << error.toStdString();
        if (route) {
            EXPECT_EQ(route->engine, *c.engine);
            EXPECT_EQ(route->target, expected);
        } else {
            EXPECT_TRUE(error.contains(expected)) << error.toStdString();
        }
    }
}

TEST(ConnectString, PasswordsNeverShowInADriversMessage)
{
    const char *cases[][3] = {
        {"DSN=Socis;UID=anna;PWD=s3cret", "login failed for anna with s3cret (PWD=s3cret)", "login failed for anna with **** (PWD=****)"},
        {"DSN=Socis;Password={a;b}", "bad password a;b", "bad password ****"},
        {"DSN=Socis;UID=anna", "no password", "no password"},
    };
    for (const auto &[connectString, message, shown] : cases)
        EXPECT_EQ(withoutPasswords(QString::fromUtf8(message), QString::fromUtf8(connectString)), QString::fromUtf8(shown));
}

TEST(SingleQuery, OnlyOneQueryThatReadsReachesTheDriver)
{
    struct Case {
        const char *sql;
        std::optional<QString> query;
    };
    // Refusals of plain writes and of text after a ";" are shown against real databases.
    const Case cases[] = {
        {"WITH a AS (SELECT 1 AS x) SELECT * FROM a", QStringLiteral("WITH a AS (SELECT 1 AS x) SELECT * FROM a")},
        {"SELECT ';', [a;b], \"c;d\", `e;f`, 'it''s;' FROM t", QStringLiteral("SELECT ';', [a;b], \"c;d\", `e;f`, 'it''s;' FROM t")},
        {"SELECT 1 -- ; DELETE FROM t", QStringLiteral("SELECT 1")},
        {"SELECT 1;;", std::nullopt},
        {"WITH d AS (DELETE FROM t RETURNING *) SELECT * FROM d", std::nullopt},
        {"SELECT * INTO copia FROM t", std::nullopt},
        {"SELECT 'a\\'' ; DELETE FROM t", std::nullopt},   // MySQL ends the string before the ";"
        {"SELECT 1 --1; DELETE FROM t", std::nullopt},      // to MySQL "--1" is no comment
        {"SELECT 'a\\'; DELETE FROM t; -- '", std::nullopt}, // the ";" ends the statement in standard SQL
        {"  /* nothing */ ", std::nullopt},
        // MySQL and MariaDB run what an executable comment holds.
        {"SELECT Nom, Correu /*!50000 INTO OUTFILE '/tmp/x' */ FROM t", std::nullopt},
        {"SELECT Nom /*M!100000 , LOAD_FILE('/etc/passwd') */ FROM t", std::nullopt},
        {"SELECT Nom /*!*/ FROM t", std::nullopt},
        {"SELECT Nom /* ! a plain comment */ FROM t", QStringLiteral("SELECT Nom /* ! a plain comment */ FROM t")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(singleQueryOf(QString::fromUtf8(c.sql)), c.query);
    }
}

} // namespace
