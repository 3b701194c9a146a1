#pragma once

#include "record_snapshot.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tramelo {

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
// Backquotes for a connect string that names MySQL, "[" and "]" otherwise.
TableDelimiters defaultDelimitersFor(const QString &databaseBoxText);

// The ODBC connect string that opens a connection string: a Jet string
// ("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH", "~/" standing for
// the home folder) names the MDBTools driver, or the SQLite3 driver with the
// file opened read-only when it starts with the SQLite header; any other
// text is already one.
QString odbcConnectStringFor(const QString &connectionString);

// Whether a row of the catalog's table listing is offered in the table list:
// type exactly "TABLE", "VIEW" or "PASS-THROUGH", and not Access's
// "MSysModules" or "MSysModules2" (both compared case-sensitively).
bool isListedTable(const QString &tableType, const QString &tableName);

// The one recipient connection. Every result set on it is a static,
// read-only snapshot of one query: any other statement is refused before it
// reaches the driver, and the connection itself is read-only wherever the
// driver allows it.
class RecipientConnection
{
public:
    RecipientConnection();
    ~RecipientConnection();
    RecipientConnection(const RecipientConnection &) = delete;
    RecipientConnection &operator=(const RecipientConnection &) = delete;

    // Opens the connection string (Jet strings are opened through the Access
    // or SQLite ODBC driver as the file's kind says). On failure returns
    // false and the database layer's own description in error.
    bool open(const QString &connectionString, QString &error);
    bool isOpen() const;

    // Names of the tables and views a campaign may use, in the driver's order.
    std::optional<QStringList> tableNames(QString &error) const;

    // Every row of the query; nothing and the reason (the driver's own text,
    // or notASingleQueryMessage) on failure.
    std::unique_ptr<RecordSnapshot> openSnapshot(const QString &sql, QString &error) const;

    // The query's field names in column order, without reading its rows.
    std::optional<QStringList> fieldNames(const QString &sql, QString &error) const;

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
};

} // namespace tramelo
