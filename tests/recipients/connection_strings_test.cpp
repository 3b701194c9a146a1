#include "connection_strings.h"
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

TEST(OdbcConnectString, LeavesConnectStringsAsTheyAre)
{
    const QString text = QStringLiteral("DSN=Clients;UID=anna;PWD=secret");
    EXPECT_EQ(odbcConnectStringFor(text), text);
}

TEST(OdbcConnectString, OpensAccessFilesWithMdbToolsAndSqliteFilesWithSqlite3)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString sqlitePath = folder.filePath(QStringLiteral("clients 50% #1?.db"));
    QFile sqliteFile(sqlitePath);
    ASSERT_TRUE(sqliteFile.open(QIODevice::WriteOnly));
    sqliteFile.write(QByteArray("SQLite format 3\0rest of the page", 32));
    sqliteFile.close();
    const QString otherPath = folder.filePath(QStringLiteral("clients.mdb"));
    QFile otherFile(otherPath);
    ASSERT_TRUE(otherFile.open(QIODevice::WriteOnly));
    otherFile.write(QByteArray("SQLite format 2\0", 16));
    otherFile.close();

    const QString jet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
    EXPECT_EQ(odbcConnectStringFor(jet + sqlitePath), QStringLiteral("DRIVER={SQLite3};Database=file:") + folder.path()
                                                      + QStringLiteral("/clients 50%25 %231%3f.db?mode=ro;NoCreat=1;StepAPI=1;NoTXN=1"));
    EXPECT_EQ(odbcConnectStringFor(jet + otherPath), QStringLiteral("DRIVER={MDBTools};DBQ=") + otherPath);
    // A missing file goes to the Access driver, which then refuses it.
    EXPECT_EQ(odbcConnectStringFor(jet + folder.filePath(QStringLiteral("cap.mdb"))),
              QStringLiteral("DRIVER={MDBTools};DBQ=") + folder.filePath(QStringLiteral("cap.mdb")));
    EXPECT_EQ(odbcConnectStringFor(jet + QStringLiteral("~/clients.mdb")),
              QStringLiteral("DRIVER={MDBTools};DBQ=") + QDir::homePath() + QStringLiteral("/clients.mdb"));
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
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(singleQueryOf(QString::fromUtf8(c.sql)), c.query);
    }
}

} // namespace
