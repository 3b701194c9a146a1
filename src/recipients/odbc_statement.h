#pragma once

#include "odbc_connection.h"
#include "odbc_handle.h"
#include "query_control.h"
#include "query_rows.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

namespace tramelo::odbc {

// A forward-only, read-only result set on an open connection. Every call
// that waits for the server is bounded by the connection's query time limit
// and cancelled by a stop of the recipient queries.
class Statement final : public QueryRows
{
public:
    // Runs an SQL text; nothing and the reason on failure.
    static std::unique_ptr<Statement> execute(const Connection &connection, const QString &sql, QString &error);
    // The catalog's list of every table, view and the like (SQLTables).
    static std::unique_ptr<Statement> tables(const Connection &connection, QString &error);

    int columnCount() const override { return m_columnCount; }
    std::optional<QStringList> columnNames(QString &error) const override;
    Fetch fetch() override;
    // As the driver converts the value to text.
    bool read(int column, TextValue &value) override;
    QString errorText() const override;

private:
    Statement(Handle statement, std::chrono::seconds timeLimit);
    static std::unique_ptr<Statement> start(const Connection &connection, QString &error);
    // One call that waits for the server, timed; SQL_ERROR without a call
    // when a stop refused it.
    template<typename DriverCall>
    SQLRETURN waitFor(QueryCancellation::Call::Kind kind, DriverCall call);

    Handle m_statement;
    std::chrono::seconds m_timeLimit;
    QueryCancellation m_cancellation;
    bool m_timedOut = false;
    int m_columnCount = 0;
};

} // namespace tramelo::odbc
