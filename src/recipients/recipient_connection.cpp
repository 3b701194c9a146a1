#include "recipient_connection.h"

#include "connection_strings.h"
#include "csv_database.h"
#include "database_route.h"
#include "odbc_database.h"
#include "query_rows.h"
#include "single_query.h"
#include "sqlite_access_rules.h"
#include "sqlite_database.h"

#include <new>

namespace tramelo {

struct RecipientConnectionState {
    std::chrono::seconds queryTimeLimit;
    // Declared before the database, so that the copy outlives it.
    std::unique_ptr<CsvDatabase> csv;
    std::unique_ptr<RecipientDatabase> database;
    int readers = 0; // open ReadTransactions
};

namespace {

const QString notOpenMessage = QStringLiteral("La connexió amb la base de dades no està oberta");

// Declared before a query's rows, so that it ends once they are freed: the
// queries within it see one state of the database, whatever they did is
// undone, and no read lock outlives the last of them.
class ReadTransaction
{
public:
    explicit ReadTransaction(RecipientConnectionState &state) : m_state(state)
    {
        if (m_state.database && m_state.readers++ == 0)
            m_state.database->beginReading();
    }
    ~ReadTransaction()
    {
        if (m_state.database && --m_state.readers == 0)
            m_state.database->endReading();
    }
    ReadTransaction(const ReadTransaction &) = delete;
    ReadTransaction &operator=(const ReadTransaction &) = delete;

private:
    RecipientConnectionState &m_state;
};

std::unique_ptr<QueryRows> execute(RecipientConnectionState &state, const QString &query, QString &error)
{
    if (!state.database) {
        error = notOpenMessage;
        return nullptr;
    }
    return state.database->execute(query, error);
}

// The rows of one query fetched as a streamed snapshot asks for them, after
// a first pass that counts them; both passes and the reading that follows
// lie in one read transaction, which ends with the reader.
class StatementRowReader : public RecordSnapshot::RowReader
{
public:
    explicit StatementRowReader(RecipientConnectionState &state) : m_state(state), m_transaction(state) {}

    // The row count, or nothing and why not.
    std::optional<qint64> open(const QString &query, QString &error)
    {
        std::optional<qint64> count = countRows(query, error);
        if (count)
            m_rows = execute(m_state, query, error);
        if (!m_rows)
            return std::nullopt;
        return count;
    }

    std::optional<QStringList> fieldNames(QString &error) const { return m_rows->columnNames(error); }

    bool readRow(std::vector<RecordSnapshot::Value> &values, QString &error) override
    {
        switch (m_rows->fetch()) {
        case QueryRows::Fetch::End:
            error = QStringLiteral("L'origen de dades ha donat menys registres dels que havia comptat");
            return false;
        case QueryRows::Fetch::Failed:
            error = m_rows->errorText();
            return false;
        case QueryRows::Fetch::Row:
            break;
        }
        values.resize(std::size_t(m_rows->columnCount()));
        for (int field = 0; field < m_rows->columnCount(); ++field) {
            if (!m_rows->read(field, m_value)) {
                error = m_rows->errorText();
                return false;
            }
            // A copy of the text alone, not of the read buffer around it.
            values[std::size_t(field)] =
                m_value.isNull ? std::nullopt : RecordSnapshot::Value(QStringView(m_value.text).toString());
        }
        return true;
    }

private:
    std::optional<qint64> countRows(const QString &query, QString &error)
    {
        const std::unique_ptr<QueryRows> rows = execute(m_state, query, error);
        if (!rows)
            return std::nullopt;
        for (qint64 count = 0;; ++count) {
            switch (rows->fetch()) {
            case QueryRows::Fetch::End:
                return count;
            case QueryRows::Fetch::Failed:
                error = rows->errorText();
                return std::nullopt;
            case QueryRows::Fetch::Row:
                break;
            }
        }
    }

    RecipientConnectionState &m_state;
    // Declared before the rows, so that it ends once they are freed.
    ReadTransaction m_transaction;
    std::unique_ptr<QueryRows> m_rows;
    TextValue m_value;
};

std::unique_ptr<RecipientDatabase> openDatabase(const DatabaseRoute &route, RecipientConnectionState &state,
                                                QString &error)
{
    switch (route.engine) {
    case DatabaseRoute::Engine::Csv:
        // A CSV file is read through the SQLite copy made of it, so that
        // its statements are real SQL.
        state.csv = CsvDatabase::load(route.target, error);
        return state.csv ? SqliteDatabase::open(state.csv->uri(), state.queryTimeLimit, error) : nullptr;
    case DatabaseRoute::Engine::Sqlite:
        return SqliteDatabase::open(route.target, state.queryTimeLimit, error);
    case DatabaseRoute::Engine::Odbc:
        break;
    }
    std::unique_ptr<RecipientDatabase> database = OdbcDatabase::open(route.target, state.queryTimeLimit, error);
    // A driver may quote the string it was given.
    if (!database)
        error = withoutPasswords(error, route.target);
    return database;
}

} // namespace

RecipientConnection::RecipientConnection(std::chrono::seconds queryTimeLimit)
    : m_state(std::make_unique<RecipientConnectionState>())
{
    m_state->queryTimeLimit = queryTimeLimit;
}

RecipientConnection::~RecipientConnection() = default;

bool RecipientConnection::open(const QString &connectionString, QString &error)
{
    m_state->database.reset();
    m_state->csv.reset();
    const std::optional<DatabaseRoute> route = databaseRouteOf(connectionString, error);
    if (route)
        m_state->database = openDatabase(*route, *m_state, error);
    return isOpen();
}

bool RecipientConnection::isOpen() const
{
    return m_state->database != nullptr;
}

ServerKind RecipientConnection::serverKind() const
{
    return isOpen() ? m_state->database->serverKind() : ServerKind::Other;
}

QString RecipientConnection::fileWritingPrivilege() const
{
    return isOpen() ? m_state->database->fileWritingPrivilege() : QString();
}

std::optional<QStringList> RecipientConnection::tableNames(QString &error) const
{
    if (!isOpen()) {
        error = notOpenMessage;
        return std::nullopt;
    }
    const ReadTransaction transaction(*m_state);
    return m_state->database->tableNames(error);
}

std::unique_ptr<RecordSnapshot> RecipientConnection::openSnapshot(const QString &sql, QString &error) const
{
    const std::optional<QString> query = singleQueryOf(sql);
    if (!query) {
        error = notASingleQueryMessage;
        return nullptr;
    }
    const ReadTransaction transaction(*m_state);
    const std::unique_ptr<QueryRows> rows = execute(*m_state, *query, error);
    if (!rows)
        return nullptr;
    std::optional<QStringList> names = rows->columnNames(error);
    if (!names)
        return nullptr;

    try {
        auto table = std::make_shared<RecordTable>(*names);
        TextValue value;
        for (;;) {
            switch (rows->fetch()) {
            case QueryRows::Fetch::End:
                return std::make_unique<RecordSnapshot>(std::move(table));
            case QueryRows::Fetch::Failed:
                error = rows->errorText();
                return nullptr;
            case QueryRows::Fetch::Row:
                break;
            }
            for (int field = 0; field < table->fieldCount(); ++field) {
                if (!rows->read(field, value)) {
                    error = rows->errorText();
                    return nullptr;
                }
                if (value.isNull)
                    table->appendNull();
                else
                    table->appendValue(value.text);
            }
        }
    } catch (const std::bad_alloc &) {
        error = QStringLiteral("No hi ha prou memòria per llegir tots els registres");
        return nullptr;
    }
}

std::unique_ptr<RecordSnapshot> RecipientConnection::openStreamedSnapshot(const QString &sql, QString &error) const
{
    const std::optional<QString> query = singleQueryOf(sql);
    if (!query) {
        error = notASingleQueryMessage;
        return nullptr;
    }
    auto reader = std::make_unique<StatementRowReader>(*m_state);
    const std::optional<qint64> count = reader->open(*query, error);
    if (!count)
        return nullptr;
    std::optional<QStringList> names = reader->fieldNames(error);
    if (!names)
        return nullptr;
    return std::make_unique<RecordSnapshot>(std::move(*names), *count, std::move(reader));
}

std::optional<QStringList> RecipientConnection::fieldNames(const QString &sql, QString &error) const
{
    const std::optional<QString> query = singleQueryOf(sql);
    if (!query) {
        error = notASingleQueryMessage;
        return std::nullopt;
    }
    const ReadTransaction transaction(*m_state);
    const std::unique_ptr<QueryRows> rows = execute(*m_state, *query, error);
    if (!rows)
        return std::nullopt;
    return rows->columnNames(error);
}

bool isOwnStatementRefusal(const QString &error)
{
    static const QString ownBeginnings[] = {notASingleQueryMessage, refusedStatementBeginning, endedQueryBeginning};
    for (const QString &beginning : ownBeginnings) {
        if (error.startsWith(beginning))
            return true;
    }
    return false;
}

} // namespace tramelo
