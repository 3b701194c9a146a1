#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

namespace tramelo {

// The database servers whose own ways the program follows beyond what ODBC
// says of every source, told by the name the driver gives its database
// system. MySQL and MariaDB read SQL alike.
enum class ServerKind { Other, PostgreSql, MySql };
ServerKind serverKindNamed(const QString &dbmsName);

// Whether a row of the catalog's listing is left out of the table list:
// a table of the server's own catalogues (PostgreSQL's pg_catalog, every
// schema named "pg_...", and information_schema; MySQL's mysql,
// information_schema, performance_schema and sys databases), or, since
// MySQL lists every database the account may read, one of a database other
// than the connection's own when it has one. Nothing is left out of other
// sources.
bool isLeftOutOfTableList(ServerKind kind, const QString &catalog, const QString &schema,
                          const QString &connectionCatalog);

// The statement that makes every later transaction of the session
// read-only on the server itself, or empty where none is known.
QString readOnlySessionStatement(ServerKind kind);

// The statement that ends every later query of the session on the server
// once it has run for the limit, for the servers whose ODBC drivers do not
// pass the statement's time-out on (MariaDB, MySQL), told by the name the
// driver gives its database system; empty for the others.
QString sessionTimeLimitStatement(const QString &dbmsName, std::chrono::seconds limit);

// The query that tells what lets the connected account write files on the
// server (each row: a privilege's name, or an empty text), and that
// privilege as found in its rows; empty where nothing is known.
QString fileWritingPrivilegeQuery(ServerKind kind);
QString fileWritingPrivilegeIn(ServerKind kind, const QStringList &rows);

} // namespace tramelo
