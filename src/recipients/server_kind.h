#pragma once

#include <QString>

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

} // namespace tramelo
