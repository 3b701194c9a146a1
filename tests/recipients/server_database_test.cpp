// Recipients kept in the organisation's database server: PostgreSQL and
// MariaDB, started on loopback and read through Debian's ODBC drivers.
#include "connection_strings.h"
#include "database_servers.h"
#include "gtest_qt_printers.h"
#include "recipient_connection.h"
#include "query_control.h"
#include "single_query.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace tramelo;
using namespace tramelo::test;

namespace {

bool isPostgres(const DatabaseServer &server)
{
    return server.name() == QLatin1String("PostgreSQL");
}

// A data source of each server's driver, named after the server, in a file
// the driver manager finds through ODBCINI. It reads that file once, so it
// is written before the first connection. The PostgreSQL one asks its
// driver to list system tables too, as an operator's data source may.
bool writeDataSources(const std::vector<std::unique_ptr<DatabaseServer>> &servers, const QString &database)
{
    static QTemporaryDir folder;
    QByteArray entries;
    for (const std::unique_ptr<DatabaseServer> &server : servers) {
        const QString entry = isPostgres(*server)
            ? QStringLiteral("[%1]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%2\nDatabase=%3\n"
                             "ShowSystemTables=1\n")
            : QStringLiteral("[%1]\nDriver=MariaDB Unicode\nSERVER=127.0.0.1\nPORT=%2\nDATABASE=%3\n");
        entries += entry.arg(server->name()).arg(server->port()).arg(database).toUtf8();
    }
    QFile file(folder.filePath(QStringLiteral("odbc.ini")));
    if (!file.open(QIODevice::WriteOnly) || file.write(entries) != entries.size())
        return false;
    return qputenv("ODBCINI", QFile::encodeName(file.fileName()));
}

const QString listedDatabase = QStringLiteral("llista");


// Both servers, started once for every test here.
struct Servers {
    std::vector<std::unique_ptr<DatabaseServer>> running;
    QStringList missing;
    QStringList failed;
};

const Servers &servers()
{
    static const Servers started = [] {
        Servers s;
        std::vector<std::unique_ptr<DatabaseServer>> all;
        all.push_back(std::make_unique<PostgresServer>());
        all.push_back(std::make_unique<MariaDbServer>());
        for (std::unique_ptr<DatabaseServer> &server : all) {
            if (!server->missingPackage().isEmpty())
                s.missing << server->name() + QStringLiteral(" (package ") + server->missingPackage() + u')';
            else if (!server->start())
                s.failed << server->errorText();
            else
                s.running.push_back(std::move(server));
        }
        if (!writeDataSources(s.running, listedDatabase))
            s.failed << QStringLiteral("cannot write the data sources");
        return s;
    }();
    return started;
}

// A server that is installed but does not start fails the test; one whose
// package is missing is left out, and the test skips when none is left.
#define FOR_EACH_SERVER(server)                                                                        \
    ASSERT_TRUE(servers().failed.isEmpty()) << servers().failed.join(u'\n');                           \
    if (servers().running.empty())                                                                     \
        GTEST_SKIP() << "not installed: " << servers().missing.join(QStringLiteral(", "));             \
    for (const std::unique_ptr<DatabaseServer> &server : servers().running)

QStringList recipientTable(const DatabaseServer &server)
{
    const QString table = server.quoted(QStringLiteral("Destinataris"));
    return {QStringLiteral("CREATE TABLE %1 (%2 TEXT, %3 TEXT, %4 TEXT)")
                .arg(table, server.quoted(QStringLiteral("Nom")), server.quoted(QStringLiteral("Ciutat")),
                     server.quoted(QStringLiteral("Correu"))),
            QStringLiteral("INSERT INTO %1 VALUES ('Núria Pàmies', 'Lleida', 'nuria@example.com'), "
                           "('Jordi Çà', '', NULL)")
                .arg(table),
            QStringLiteral("CREATE VIEW %1 AS SELECT * FROM %2 WHERE %3 IS NOT NULL")
                .arg(server.quoted(QStringLiteral("Clients actius")), table, server.quoted(QStringLiteral("Correu")))};
}

TEST(ServerDatabase, ADataSourceNameListsOnlyTheUsersTablesAndReadsThemWithTheServersQuotes)
{
    FOR_EACH_SERVER(server)
    {
        SCOPED_TRACE(server->name().toStdString());
        QString error;
        ASSERT_TRUE(server->createDatabase(listedDatabase, recipientTable(*server), error)) << error;
        ASSERT_TRUE(server->createDatabase(QStringLiteral("altra"), {QStringLiteral("CREATE TABLE altra (a TEXT)")}, error))
            << error;
        const QString source = QStringLiteral("DSN=%1;UID=%2;PWD=%3").arg(server->name(), server->user(), server->password());

        RecipientConnection connection;
        ASSERT_TRUE(connection.open(connectionStringFor(source), error)) << error;
        std::optional<QStringList> tables = connection.tableNames(error);
        ASSERT_TRUE(tables) << error;
        tables->sort();
        EXPECT_EQ(*tables, QStringList({QStringLiteral("Clients actius"), QStringLiteral("Destinataris")}));

        // The name of the source says nothing of the server: its driver does.
        const TableDelimiters quotes = defaultDelimitersFor(source, connection.serverKind());
        const QString quote = isPostgres(*server) ? QStringLiteral("\"") : QStringLiteral("`");
        EXPECT_EQ(quotes.left, quote);
        EXPECT_EQ(quotes.right, quote);
        // An accented text in the statement reaches the server as typed.
        const auto name = [&quotes](const char *name) { return quotes.left + QLatin1String(name) + quotes.right; };
        std::unique_ptr<RecordSnapshot> rows = connection.openSnapshot(
            QStringLiteral("Select * From %1 Where %2 Like '%à%' Order By 1 Desc").arg(name("Destinataris"), name("Nom")),
            error);
        ASSERT_TRUE(rows) << error;
        EXPECT_EQ(rows->fieldNames(), QStringList({QStringLiteral("Nom"), QStringLiteral("Ciutat"), QStringLiteral("Correu")}));
        std::vector<std::vector<RecordSnapshot::Value>> read;
        for (; !rows->atEnd(); rows->moveNext())
            read.push_back({rows->value(0), rows->value(1), rows->value(2)});
        const std::vector<std::vector<RecordSnapshot::Value>> expected = {
            {QStringLiteral("Núria Pàmies"), QStringLiteral("Lleida"), QStringLiteral("nuria@example.com")},
            {QStringLiteral("Jordi Çà"), QString(), std::nullopt},
        };
        EXPECT_EQ(read, expected);
    }
}

// Only one query that reads reaches the driver, and the server itself holds
// the session to reading: a sequence, which no rollback puts back, keeps its
// value.
TEST(ServerDatabase, AWriteThroughTheConnectionNeverLands)
{
    FOR_EACH_SERVER(server)
    {
        SCOPED_TRACE(server->name().toStdString());
        const QString table = server->quoted(QStringLiteral("Destinataris"));
        const QString nextValue = isPostgres(*server) ? QStringLiteral("SELECT nextval('comptador')") : QStringLiteral("SELECT NEXTVAL(comptador)");
        QString output;
        ASSERT_TRUE(server->createDatabase(QStringLiteral("escriptura"),
                                           recipientTable(*server) << QStringLiteral("CREATE SEQUENCE comptador"), output))
            << output;

        {
            RecipientConnection connection;
            QString error;
            ASSERT_TRUE(connection.open(server->connectString(QStringLiteral("escriptura")), error)) << error;
            EXPECT_FALSE(connection.openSnapshot(QStringLiteral("DELETE FROM ") + table, error));
            EXPECT_EQ(error, notASingleQueryMessage);
            error.clear();
            EXPECT_FALSE(connection.openSnapshot(nextValue, error)) << "the server let the sequence move";
            EXPECT_FALSE(error.isEmpty());
            // The connection still reads.
            EXPECT_TRUE(connection.fieldNames(QStringLiteral("SELECT * FROM ") + table, error)) << error;
        }
        ASSERT_TRUE(server->runSql(QStringLiteral("escriptura"),
                                   {nextValue, QStringLiteral("SELECT COUNT(*) FROM ") + table},
                                   output))
            << output;
        EXPECT_EQ(output, QStringLiteral("1\n2\n"));
    }
}

// A query that outlasts the time limit ends, on the server too, and says
// so; the connection goes on reading.
TEST(ServerDatabase, AQueryThatOutlastsTheTimeLimitEndsOnTheServer)
{
    FOR_EACH_SERVER(server)
    {
        SCOPED_TRACE(server->name().toStdString());
        const QString sleep = isPostgres(*server) ? QStringLiteral("SELECT pg_sleep(600)") : QStringLiteral("SELECT SLEEP(600)");
        QString error;
        ASSERT_TRUE(server->createDatabase(QStringLiteral("espera"), {QStringLiteral("CREATE TABLE t (a TEXT)")}, error)) << error;
        RecipientConnection connection(std::chrono::seconds(2));
        ASSERT_TRUE(connection.open(server->connectString(QStringLiteral("espera")), error)) << error;
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(connection.openSnapshot(sleep, error));
        EXPECT_TRUE(error.startsWith(queryTimedOutMessage(std::chrono::seconds(2)))) << error;
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_TRUE(connection.fieldNames(QStringLiteral("SELECT a FROM t"), error)) << error;
        EXPECT_EQ(server->sessionsRunning(sleep), QStringLiteral("0\n"));
    }
}

} // namespace
