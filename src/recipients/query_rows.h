#pragma once

#include "server_kind.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tramelo {

// One value of the current row. The text keeps its buffer between reads, so
// reading a whole result set allocates almost nothing.
struct TextValue {
    QString text;
    bool isNull = false;
};

// The rows of one query, forward only and read-only.
class QueryRows
{
public:
    virtual ~QueryRows() = default;

    virtual int columnCount() const = 0;
    virtual std::optional<QStringList> columnNames(QString &error) const = 0;

    enum class Fetch { Row, End, Failed };
    virtual Fetch fetch() = 0;

    // The value of a column (from 0) of the current row, as text. False on
    // failure; errorText() then says why.
    virtual bool read(int column, TextValue &value) = 0;

    // Why the last call failed: the database's own text, or the program's
    // words for a query ended by the time limit or a stop.
    virtual QString errorText() const = 0;
};

// An open recipient database, as the recipient connection uses it.
class RecipientDatabase
{
public:
    virtual ~RecipientDatabase() = default;

    virtual ServerKind serverKind() const = 0;

    // Every table and view a campaign may use, in the database's order.
    virtual std::optional<QStringList> tableNames(QString &error) = 0;

    // Runs a query that only reads; nothing and the reason on failure.
    virtual std::unique_ptr<QueryRows> execute(const QString &query, QString &error) = 0;

    // The queries between the two see one state of the database, and what
    // they did is undone at the end.
    virtual void beginReading() = 0;
    virtual void endReading() = 0;

    // What lets the connected account write files on the database's
    // server ("FILE", "pg_write_server_files"...); empty when nothing does,
    // or when the server does not say.
    virtual QString fileWritingPrivilege() const { return {}; }
};

} // namespace tramelo
