#pragma once

#include "query_control.h"
#include "record_snapshot.h"
#include "server_kind.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

namespace tramelo {

struct RecipientConnectionState;

// The one recipient connection. Every result set on it is a static,
// read-only snapshot of one query: any other statement is refused before it
// reaches the database, and the connection itself is read-only wherever the
// database allows it. Each call that waits for the database ends after the
// query time limit, and a stop of the recipient queries ends it at once.
class RecipientConnection
{
public:
    explicit RecipientConnection(std::chrono::seconds queryTimeLimit = recipientQueryTimeLimit);
    ~RecipientConnection();
    RecipientConnection(const RecipientConnection &) = delete;
    RecipientConnection &operator=(const RecipientConnection &) = delete;

    // Opens the connection string as databaseRouteOf() says: SQLite files
    // (and the copy of a CSV file, see CsvDatabase) by the SQLite library,
    // everything else through its ODBC driver. On failure returns false and
    // the database layer's own description in error, without the
    // passwords of the string, or the program's reason for refusing it.
    bool open(const QString &connectionString, QString &error);
    bool isOpen() const;
    // The kind of server behind the open connection; Other when not open.
    ServerKind serverKind() const;
    // What lets the connected account write files on its server (see
    // RecipientDatabase); empty when nothing does or when not open.
    QString fileWritingPrivilege() const;

    // Names of the tables and views a campaign may use, in the driver's
    // order; the server's own catalogues, and MySQL's other databases, are
    // left out.
    std::optional<QStringList> tableNames(QString &error) const;

    // Every row of the query; nothing and the reason (the driver's own text,
    // or the program's, see isOwnStatementRefusal) on failure.
    std::unique_ptr<RecordSnapshot> openSnapshot(const QString &sql, QString &error) const;
    // The same rows streamed: counted first, then read as the snapshot moves
    // through them, so that memory does not grow with them. The connection
    // must outlive the snapshot, which holds the query open.
    std::unique_ptr<RecordSnapshot> openStreamedSnapshot(const QString &sql, QString &error) const;

    // The query's field names in column order, without reading its rows.
    std::optional<QStringList> fieldNames(const QString &sql, QString &error) const;

private:
    std::unique_ptr<RecipientConnectionState> m_state;
};

// Whether an error of the connection is the program's own words (a
// statement refused before it ran, or ended by the time limit or a stop),
// to be shown as it is, rather than a database's own text.
bool isOwnStatementRefusal(const QString &error);

} // namespace tramelo
