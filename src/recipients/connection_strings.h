#pragma once

#include "server_kind.h"

#include <QList>
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

// The file a Jet string ("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH")
// names, "~/" standing for the home folder; nothing for any other text.
std::optional<QString> jetFileOf(const QString &connectionString);

// The CSV file a connection string names: a Jet string whose path ends in
// ".csv" or ".txt" (in any letter case). Nothing for any other text.
std::optional<QString> csvFileOf(const QString &connectionString);

// Whether the file starts with the SQLite header.
bool startsWithSqliteHeader(const QString &path);

// One "KEY=value" attribute of an ODBC connect string.
struct ConnectAttribute {
    QString key;
    QString value;
};
// The attributes of a connect string, in order, separated by ";", keys
// without their surrounding blanks. With braces, a value in braces is taken
// whole, ";" included, as the driver manager reads it; without them, every
// ";" ends an attribute: a check of the attributes reads a string both ways.
enum class Braces { Kept, Ignored };
QList<ConnectAttribute> connectAttributes(const QString &connectString, Braces braces);

// The text with the passwords of the connect string (its PWD= and
// PASSWORD= values) masked wherever they occur: a driver's message may
// quote the string it was given.
QString withoutPasswords(QString text, const QString &connectString);

// Whether a row of the catalog's table listing is offered in the table list:
// type exactly "TABLE", "VIEW" or "PASS-THROUGH", and not Access's
// "MSysModules" or "MSysModules2" (both compared case-sensitively).
bool isListedTable(const QString &tableType, const QString &tableName);

} // namespace tramelo
