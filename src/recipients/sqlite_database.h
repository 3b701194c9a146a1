#pragma once

#include "query_rows.h"

#include <chrono>
#include <memory>

struct sqlite3;

namespace tramelo {

// A recipient database read by the SQLite library itself: an SQLite file,
// or the copy of a CSV file in memory. It is opened read-only, with the
// loading of extensions off and schemas untrusted, and every statement is
// held to what a recipient query may do (see sqliteAccessRefusal). Each
// call that steps a statement ends once it has run for the time limit, and
// a stop of the recipient queries interrupts it.
class SqliteDatabase final : public RecipientDatabase
{
public:
    // Opens a file's path, or a "file:" URI; nothing and SQLite's own text
    // when it cannot be read as a database.
    static std::unique_ptr<SqliteDatabase> open(const QString &name, std::chrono::seconds queryTimeLimit,
                                                QString &error);
    ~SqliteDatabase() override;

    ServerKind serverKind() const override { return ServerKind::Other; }
    // Its tables and views in the order they were made, without SQLite's own.
    std::optional<QStringList> tableNames(QString &error) override;
    std::unique_ptr<QueryRows> execute(const QString &query, QString &error) override;
    void beginReading() override;
    void endReading() override;

    // What the authoriser and the progress handler share with the
    // statements of this database.
    struct Watch;

private:
    SqliteDatabase(sqlite3 *db, std::chrono::seconds queryTimeLimit);
    void runOwnStatement(const char *sql);

    sqlite3 *m_db;
    std::unique_ptr<Watch> m_watch;
};

} // namespace tramelo
