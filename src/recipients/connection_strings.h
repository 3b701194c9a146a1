#pragma once

#include "server_kind.h"

#include <QString>

#include <optional>

namespace tramelo {

// The texts that name a recipient database: what the operator types in the
// database box, the connection string made of it, and the ODBC connect
// string that opens it.

// The text of the database box is a file path when it starts with two
// backslashes, has ":\" as its second and third characters, or starts with
// "/" or "~/"; anything else is a connect string.
bool isFilePath(const QString &databaseBoxText);

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path for a file path, the
// text unchanged otherwise.
QString connectionStringFor(const QString &databaseBoxText);

struct TableDelimiters {
    QString left;
    QString right;
};
// "[" and "]" for a file path. For a connect string: double quotes when the
// server is PostgreSQL, backquotes when it is MySQL or MariaDB or when the
// text names MySQL, "[" and "]" otherwise.
TableDelimiters defaultDelimitersFor(const QString &databaseBoxText, ServerKind server = ServerKind::Other);

// The ODBC connect string that opens a connection string: a Jet string
// ("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH", "~/" standing for
// the home folder) names the MDBTools driver, or the SQLite3 driver with the
// file opened read-only when it starts with the SQLite header; any other
// text is already one.
QString odbcConnectStringFor(const QString &connectionString);

// The SQLite3 driver's connect string for the database SQLite opens by a
// "file:" URI (its query, if any, included), opened read-only as above.
QString readOnlySqliteConnectString(const QString &uri);

// The CSV file a connection string names: a Jet string whose path ends in
// ".csv" or ".txt" (in any letter case), "~/" standing for the home folder.
// Nothing for any other text.
std::optional<QString> csvFileOf(const QString &connectionString);

// Whether a row of the catalog's table listing is offered in the table list:
// type exactly "TABLE", "VIEW" or "PASS-THROUGH", and not Access's
// "MSysModules" or "MSysModules2" (both compared case-sensitively).
bool isListedTable(const QString &tableType, const QString &tableName);

} // namespace tramelo
