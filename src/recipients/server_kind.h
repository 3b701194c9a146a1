#pragma once

#include <QString>

namespace tramelo {

// The database servers whose own ways the program follows beyond what ODBC
// says of every source, told by the name the driver gives its database
// system. MySQL and MariaDB read SQL alike.
enum class ServerKind { Other, PostgreSql, MySql };
ServerKind serverKindNamed(const QString &dbmsName);

// Whether a table of the catalog's listing belongs to the server's own
// catalogues rather than to its users: PostgreSQL's pg_catalog (every
// schema named "pg_...") and information_schema; MySQL's mysql,
// information_schema, performance_schema and sys databases. Nothing is left
// out of other sources.
bool isSystemCatalogue(ServerKind kind, const QString &catalog, const QString &schema);

// The statement that makes every later transaction of the session
// read-only on the server itself, or empty where none is known.
QString readOnlySessionStatement(ServerKind kind);

} // namespace tramelo
