#pragma once

#include "odbc_connection.h"
#include "odbc_handle.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tramelo::odbc {

// One value of the current row. The text keeps its buffer between reads, so
// reading a whole result set allocates almost nothing.
struct TextValue {
    QString text;
    bool isNull = false;
};

// A forward-only, read-only result set on an open connection.
class Statement
{
public:
    // Runs an SQL text; nothing and the driver's own text on failure.
    static std::optional<Statement> execute(const Connection &connection, const QString &sql, QString &error);
    // The catalog's list of every table, view and the like (SQLTables).
    static std::optional<Statement> tables(const Connection &connection, QString &error);

    int columnCount() const { return m_columnCount; }
    std::optional<QStringList> columnNames(QString &error) const;

    enum class Fetch { Row, End, Failed };
    Fetch fetch();

    // The value of a column (from 0) of the current row, as the driver
    // converts it to text. False on failure; errorText() then says why.
    bool read(int column, TextValue &value);

    QString errorText() const { return orUndescribedError(m_statement.diagnostics()); }

private:
    explicit Statement(Handle statement);

    Handle m_statement;
    int m_columnCount = 0;
};

} // namespace tramelo::odbc
