#include "sqlite_database.h"

#include "query_control.h"
#include "sqlite_access_rules.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <sqlite3.h>

#include <utility>

namespace tramelo {

using Clock = std::chrono::steady_clock;

struct SqliteDatabase::Watch {
    std::chrono::seconds timeLimit;
    // When the call in progress must end; never between calls.
    Clock::time_point deadline = Clock::time_point::max();
    bool timedOut = false;
    // The program's own statements (a transaction's start and end) are
    // not held to the rules of a recipient query.
    bool ownStatement = false;
    // What the rules refused of the statement last compiled.
    QString refusal;
};

namespace {

// The virtual machine's steps between two looks at the clock: a few
// microseconds of work.
constexpr int stepsBetweenDeadlineChecks = 1000;

int authorize(void *context, int action, const char *detail1, const char *detail2, const char *, const char *)
{
    auto *watch = static_cast<SqliteDatabase::Watch *>(context);
    if (watch->ownStatement)
        return SQLITE_OK;
    const std::optional<QString> refusal = sqliteAccessRefusal(action, detail1, detail2);
    if (!refusal)
        return SQLITE_OK;
    if (watch->refusal.isEmpty())
        watch->refusal = *refusal;
    return SQLITE_DENY;
}

int interruptAfterDeadline(void *context)
{
    auto *watch = static_cast<SqliteDatabase::Watch *>(context);
    if (Clock::now() < watch->deadline)
        return 0;
    watch->timedOut = true;
    return 1;
}

QString sqliteText(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// Why a statement failed to compile or to run: what the rules refused of
// it, SQLite's own refusal of a function a view may not call (schemas are
// untrusted) in the same words, or SQLite's text.
QString statementFailure(sqlite3 *db, const SqliteDatabase::Watch &watch)
{
    if (!watch.refusal.isEmpty())
        return watch.refusal;
    static const QRegularExpression unsafeUse(QStringLiteral("^unsafe use of (.+)\\(\\)$"));
    const QString text = sqliteText(db);
    if (const QRegularExpressionMatch function = unsafeUse.match(text); function.hasMatch())
        return refusedStatementBeginning + QStringLiteral("fa servir una funció no permesa: ") + function.captured(1);
    return text;
}

class SqliteRows final : public QueryRows
{
public:
    SqliteRows(sqlite3 *db, sqlite3_stmt *statement, SqliteDatabase::Watch &watch)
        : m_db(db)
        , m_statement(statement)
        , m_watch(watch)
        , m_cancellation([db] { sqlite3_interrupt(db); })
    {
    }
    ~SqliteRows() override { sqlite3_finalize(m_statement); }

    // Runs the query to its first row; false with errorText() on failure.
    bool start()
    {
        m_firstStep = step(QueryCancellation::Call::Kind::Start);
        return m_firstStep == SQLITE_ROW || m_firstStep == SQLITE_DONE;
    }

    int columnCount() const override { return sqlite3_column_count(m_statement); }

    std::optional<QStringList> columnNames(QString &error) const override
    {
        QStringList names;
        for (int column = 0; column < columnCount(); ++column) {
            const char *name = sqlite3_column_name(m_statement, column);
            if (!name) {
                error = sqliteText(m_db);
                return std::nullopt;
            }
            names.append(QString::fromUtf8(name));
        }
        return names;
    }

    Fetch fetch() override
    {
        // A statement stepped past its end would start again.
        if (m_done)
            return Fetch::End;
        const int rc = m_firstStep ? std::exchange(m_firstStep, 0) : step(QueryCancellation::Call::Kind::Continue);
        if (rc == SQLITE_ROW)
            return Fetch::Row;
        m_done = true;
        return rc == SQLITE_DONE ? Fetch::End : Fetch::Failed;
    }

    bool read(int column, TextValue &value) override
    {
        value.isNull = sqlite3_column_type(m_statement, column) == SQLITE_NULL;
        if (value.isNull)
            return true;
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        const int size = sqlite3_column_bytes(m_statement, column);
        if (!bytes && sqlite3_errcode(m_db) == SQLITE_NOMEM) {
            m_error = sqliteText(m_db);
            return false;
        }
        // Decoded into the value's own buffer: UTF-16 is never longer than
        // the UTF-8 it comes from.
        value.text.resize(size);
        const QChar *end = m_decoder.appendToBuffer(value.text.data(), QByteArrayView(bytes, size));
        value.text.truncate(end - value.text.constData());
        return true;
    }

    QString errorText() const override { return m_error; }

private:
    // One call that steps the statement, bounded by the time limit and a
    // stop; a failure leaves its reason in m_error.
    int step(QueryCancellation::Call::Kind kind)
    {
        int rc = SQLITE_INTERRUPT;
        {
            const QueryCancellation::Call call(m_cancellation, kind);
            if (!call.refused()) {
                m_watch.timedOut = false;
                m_watch.refusal.clear();
                m_watch.deadline = Clock::now() + m_watch.timeLimit;
                rc = sqlite3_step(m_statement);
                m_watch.deadline = Clock::time_point::max();
            }
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_error = failureText();
        return rc;
    }

    QString failureText() const
    {
        if (m_cancellation.cancelled())
            return queryStoppedMessage();
        if (m_watch.timedOut)
            return queryTimedOutMessage(m_watch.timeLimit);
        return statementFailure(m_db, m_watch);
    }

    sqlite3 *m_db;
    sqlite3_stmt *m_statement;
    SqliteDatabase::Watch &m_watch;
    QueryCancellation m_cancellation;
    QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
    int m_firstStep = 0; // its result, until fetched
    bool m_done = false;
    QString m_error;
};

} // namespace

SqliteDatabase::SqliteDatabase(sqlite3 *db, std::chrono::seconds queryTimeLimit)
    : m_db(db)
    , m_watch(std::make_unique<Watch>())
{
    m_watch->timeLimit = queryTimeLimit;
    // Nothing a file or a statement holds may load code, and what the
    // schema defines (views) may call only functions safe anywhere.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_set_authorizer(m_db, authorize, m_watch.get());
    sqlite3_progress_handler(m_db, stepsBetweenDeadlineChecks, interruptAfterDeadline, m_watch.get());
    // A file another program is writing is waited for, within the limit.
    sqlite3_busy_timeout(m_db, int(std::chrono::milliseconds(queryTimeLimit).count()));
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close(m_db);
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::open(const QString &name, std::chrono::seconds queryTimeLimit,
                                                     QString &error)
{
    sqlite3 *db = nullptr;
    // One thread uses the connection; a stop only interrupts it, which
    // SQLite allows from any thread.
    const int rc = sqlite3_open_v2(name.toUtf8().constData(), &db,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        error = db ? sqliteText(db) : QStringLiteral("No hi ha prou memòria per obrir la base de dades");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(db, queryTimeLimit));
    // SQLite reads a file only when a statement needs it: a file that is
    // no database says so here, and not at the first query.
    const std::unique_ptr<QueryRows> probe = database->execute(QStringLiteral("SELECT 1 FROM sqlite_master"), error);
    if (!probe)
        return nullptr;
    return database;
}

std::optional<QStringList> SqliteDatabase::tableNames(QString &error)
{
    const std::unique_ptr<QueryRows> listing = execute(
        QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view')"
                       " AND name NOT LIKE 'sqlite!_%' ESCAPE '!' ORDER BY rowid"),
        error);
    if (!listing)
        return std::nullopt;
    QStringList names;
    TextValue name;
    for (;;) {
        switch (listing->fetch()) {
        case QueryRows::Fetch::End:
            return names;
        case QueryRows::Fetch::Failed:
            error = listing->errorText();
            return std::nullopt;
        case QueryRows::Fetch::Row:
            break;
        }
        if (!listing->read(0, name)) {
            error = listing->errorText();
            return std::nullopt;
        }
        names.append(QStringView(name.text).toString());
    }
}

std::unique_ptr<QueryRows> SqliteDatabase::execute(const QString &query, QString &error)
{
    m_watch->refusal.clear();
    const QByteArray text = query.toUtf8();
    sqlite3_stmt *statement = nullptr;
    // Only the first statement of the text is compiled, and only it runs.
    const int rc = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &statement, nullptr);
    if (rc != SQLITE_OK || !statement) {
        sqlite3_finalize(statement);
        error = rc != SQLITE_OK ? statementFailure(m_db, *m_watch) : refusedStatementBeginning + QStringLiteral("és buida");
        return nullptr;
    }
    auto rows = std::make_unique<SqliteRows>(m_db, statement, *m_watch);
    if (!rows->start()) {
        error = rows->errorText();
        return nullptr;
    }
    return rows;
}

void SqliteDatabase::runOwnStatement(const char *sql)
{
    m_watch->ownStatement = true;
    sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    m_watch->ownStatement = false;
}

void SqliteDatabase::beginReading()
{
    runOwnStatement("BEGIN");
}

void SqliteDatabase::endReading()
{
    if (!sqlite3_get_autocommit(m_db))
        runOwnStatement("ROLLBACK");
}

} // namespace tramelo
