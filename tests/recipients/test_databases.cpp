#include "test_databases.h"

#include "test_support.h"

#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <memory>

namespace tramelo::test {

namespace {

struct DatabaseCloser {
    void operator()(sqlite3 *database) const { sqlite3_close(database); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using PreparedStatement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Database openDatabase(const QString &path, QString &error)
{
    sqlite3 *database = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &database) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(database));
        sqlite3_close(database);
        return nullptr;
    }
    return Database(database);
}

bool run(sqlite3 *database, const QString &sql, QString &error)
{
    char *message = nullptr;
    if (sqlite3_exec(database, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = QString::fromUtf8(message) + QStringLiteral(" in: ") + sql;
    sqlite3_free(message);
    return false;
}

} // namespace

QString copySharedDatabase(const QString &fileName, const QTemporaryDir &folder)
{
    const QString copy = folder.filePath(fileName);
    if (!QFile::copy(sharedDataDir() + QLatin1Char('/') + fileName, copy))
        return {};
    // The originals are read-only; the copy must be writable for cleanup.
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    return copy;
}

bool createSqliteDatabase(const QString &path, const QStringList &statements, QString &error)
{
    Database database = openDatabase(path, error);
    if (!database || !run(database.get(), QStringLiteral("BEGIN"), error))
        return false;
    for (const QString &statement : statements) {
        if (!run(database.get(), statement, error))
            return false;
    }
    return run(database.get(), QStringLiteral("COMMIT"), error);
}

bool addBulkRecipientTable(const QString &path, const QString &table, int rows, QString &error)
{
    Database database = openDatabase(path, error);
    if (!database)
        return false;
    const QString create = QStringLiteral(
        "CREATE TABLE \"%1\" (Id INTEGER, Nom TEXT, Cognoms TEXT, Correu TEXT, Ciutat TEXT, "
        "Telefon TEXT, Codi TEXT, Alta TEXT, Import REAL, Notes TEXT)").arg(table);
    if (!run(database.get(), create, error) || !run(database.get(), QStringLiteral("BEGIN"), error))
        return false;

    sqlite3_stmt *raw = nullptr;
    const QByteArray insert = QStringLiteral("INSERT INTO \"%1\" VALUES (?,?,?,?,?,?,?,?,?,?)").arg(table).toUtf8();
    if (sqlite3_prepare_v2(database.get(), insert.constData(), -1, &raw, nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(database.get()));
        return false;
    }
    PreparedStatement statement(raw);
    const auto bindText = [&](int column, const QString &text) {
        const QByteArray bytes = text.toUtf8();
        sqlite3_bind_text(statement.get(), column, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    };
    for (int n = 1; n <= rows; ++n) {
        sqlite3_bind_int(statement.get(), 1, n);
        bindText(2, QStringLiteral("Nom%1").arg(n));
        bindText(3, QStringLiteral("Puigdomènech Alàs %1").arg(n));
        bindText(4, QStringLiteral("client%1@example.com").arg(n));
        bindText(5, QStringLiteral("Girona"));
        bindText(6, QStringLiteral("972 %1").arg(n, 6, 10, QLatin1Char('0')));
        bindText(7, QStringLiteral("C%1").arg(n, 7, 10, QLatin1Char('0')));
        bindText(8, QStringLiteral("2024-%1-%2").arg(n % 12 + 1, 2, 10, QLatin1Char('0')).arg(n % 28 + 1, 2, 10, QLatin1Char('0')));
        sqlite3_bind_double(statement.get(), 9, n * 1.25);
        if (n % 7 == 0)
            sqlite3_bind_null(statement.get(), 10);
        else
            bindText(10, QStringLiteral("Client des de fa %1 anys").arg(n % 30));
        if (sqlite3_step(statement.get()) != SQLITE_DONE) {
            error = QString::fromUtf8(sqlite3_errmsg(database.get()));
            return false;
        }
        sqlite3_reset(statement.get());
    }
    return run(database.get(), QStringLiteral("COMMIT"), error);
}

} // namespace tramelo::test
