#pragma once

#include "record_snapshot.h"
#include "server_kind.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tramelo {

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
    // or SQLite ODBC driver as the file's kind says, or as a CSV file, see
    // CsvDatabase). On failure returns false and the database layer's own
    // description in error, or the message for the operator about a CSV file.
    bool open(const QString &connectionString, QString &error);
    bool isOpen() const;
    // The kind of server behind the open connection; Other when not open.
    ServerKind serverKind() const;

    // Names of the tables and views a campaign may use, in the driver's
    // order; the server's own catalogues, and MySQL's other databases, are
    // left out.
    std::optional<QStringList> tableNames(QString &error) const;

    // Every row of the query; nothing and the reason (the driver's own text,
    // or notASingleQueryMessage) on failure.
    std::unique_ptr<RecordSnapshot> openSnapshot(const QString &sql, QString &error) const;
    // The same rows streamed: counted first, then read as the snapshot moves
    // through them, so that memory does not grow with them. The connection
    // must outlive the snapshot, which holds the query open.
    std::unique_ptr<RecordSnapshot> openStreamedSnapshot(const QString &sql, QString &error) const;

    // The query's field names in column order, without reading its rows.
    std::optional<QStringList> fieldNames(const QString &sql, QString &error) const;

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
};

} // namespace tramelo
