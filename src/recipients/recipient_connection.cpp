#include "recipient_connection.h"

#include "connection_strings.h"
#include "csv_database.h"
#include "odbc_statement.h"
#include "single_query.h"

#include <new>

namespace tramelo {

struct RecipientConnection::Handles {
    // Declared before the connection, so that the copy outlives it.
    std::unique_ptr<CsvDatabase> csv;
    odbc::Connection connection;
};

namespace {

// Declared before a statement, so that it ends once the statement is freed:
// whatever the statement did is undone, and no read lock outlives it.
class ReadTransaction
{
public:
    explicit ReadTransaction(odbc::Connection &connection) : m_connection(connection) {}
    ~ReadTransaction() { m_connection.rollback(); }
    ReadTransaction(const ReadTransaction &) = delete;
    ReadTransaction &operator=(const ReadTransaction &) = delete;

private:
    odbc::Connection &m_connection;
};

// The rows of one query fetched as a streamed snapshot asks for them, after
// a first pass that counts them; both passes and the reading that follows
// lie in one read transaction, which ends with the reader.
class StatementRowReader : public RecordSnapshot::RowReader
{
public:
    explicit StatementRowReader(odbc::Connection &connection) : m_connection(connection), m_transaction(connection) {}

    // The row count, or nothing and why not.
    std::optional<qint64> open(const QString &query, QString &error)
    {
        std::optional<qint64> count = countRows(query, error);
        if (count)
            m_statement = odbc::Statement::execute(m_connection, query, error);
        if (!m_statement)
            return std::nullopt;
        return count;
    }

    std::optional<QStringList> fieldNames(QString &error) const { return m_statement->columnNames(error); }

    bool readRow(std::vector<RecordSnapshot::Value> &values, QString &error) override
    {
        switch (m_statement->fetch()) {
        case odbc::Statement::Fetch::End:
            error = QStringLiteral("L'origen de dades ha donat menys registres dels que havia comptat");
            return false;
        case odbc::Statement::Fetch::Failed:
            error = m_statement->errorText();
            return false;
        case odbc::Statement::Fetch::Row:
            break;
        }
        values.resize(std::size_t(m_statement->columnCount()));
        for (int field = 0; field < m_statement->columnCount(); ++field) {
            if (!m_statement->read(field, m_value)) {
                error = m_statement->errorText();
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
        std::optional<odbc::Statement> statement = odbc::Statement::execute(m_connection, query, error);
        if (!statement)
            return std::nullopt;
        for (qint64 rows = 0;; ++rows) {
            switch (statement->fetch()) {
            case odbc::Statement::Fetch::End:
                return rows;
            case odbc::Statement::Fetch::Failed:
                error = statement->errorText();
                return std::nullopt;
            case odbc::Statement::Fetch::Row:
                break;
            }
        }
    }

    odbc::Connection &m_connection;
    // Declared before the statement, so that it ends once the statement is freed.
    ReadTransaction m_transaction;
    std::optional<odbc::Statement> m_statement;
    odbc::TextValue m_value;
};

} // namespace

RecipientConnection::RecipientConnection()
    : m_handles(std::make_unique<Handles>())
{
}

RecipientConnection::~RecipientConnection() = default;

bool RecipientConnection::open(const QString &connectionString, QString &error)
{
    // A CSV file is read through the SQLite copy made of it, so that its
    // statements are real SQL.
    std::unique_ptr<CsvDatabase> csv;
    QString odbcString = odbcConnectStringFor(connectionString);
    if (const std::optional<QString> csvFile = csvFileOf(connectionString)) {
        csv = CsvDatabase::load(*csvFile, error);
        if (!csv)
            return false;
        odbcString = readOnlySqliteConnectString(csv->uri());
    }
    // The campaign only reads its recipients.
    const bool opened = m_handles->connection.open(odbcString, odbc::Connection::Access::ReadOnly, error);
    m_handles->csv = std::move(csv);
    return opened;
}

bool RecipientConnection::isOpen() const
{
    return m_handles->connection.isOpen();
}

ServerKind RecipientConnection::serverKind() const
{
    return serverKindNamed(m_handles->connection.dbmsName());
}

std::optional<QStringList> RecipientConnection::tableNames(QString &error) const
{
    // Columns of the SQLTables listing, counted from 0.
    constexpr int catalogColumn = 0;
    constexpr int schemaColumn = 1;
    constexpr int tableNameColumn = 2;
    constexpr int tableTypeColumn = 3;

    const ReadTransaction transaction(m_handles->connection);
    std::optional<odbc::Statement> listing = odbc::Statement::tables(m_handles->connection, error);
    if (!listing)
        return std::nullopt;
    const ServerKind kind = serverKind();
    // Asked of MySQL's drivers only, the one kind whose listing needs it.
    const QString connectionCatalog = kind == ServerKind::MySql ? m_handles->connection.currentCatalog() : QString();
    QStringList names;
    odbc::TextValue catalog;
    odbc::TextValue schema;
    odbc::TextValue name;
    odbc::TextValue type;
    for (;;) {
        switch (listing->fetch()) {
        case odbc::Statement::Fetch::End:
            return names;
        case odbc::Statement::Fetch::Failed:
            error = listing->errorText();
            return std::nullopt;
        case odbc::Statement::Fetch::Row:
            break;
        }
        // Columns are read in their order, as some drivers require.
        if (!listing->read(catalogColumn, catalog) || !listing->read(schemaColumn, schema)
            || !listing->read(tableNameColumn, name) || !listing->read(tableTypeColumn, type)) {
            error = listing->errorText();
            return std::nullopt;
        }
        // A copy of the text alone, not of the read buffer around it.
        if (isListedTable(type.text, name.text)
            && !isLeftOutOfTableList(kind, catalog.text, schema.text, connectionCatalog))
            names.append(QStringView(name.text).toString());
    }
}

std::unique_ptr<RecordSnapshot> RecipientConnection::openSnapshot(const QString &sql, QString &error) const
{
    const std::optional<QString> query = singleQueryOf(sql);
    if (!query) {
        error = notASingleQueryMessage;
        return nullptr;
    }
    const ReadTransaction transaction(m_handles->connection);
    std::optional<odbc::Statement> statement = odbc::Statement::execute(m_handles->connection, *query, error);
    if (!statement)
        return nullptr;
    std::optional<QStringList> names = statement->columnNames(error);
    if (!names)
        return nullptr;

    try {
        auto table = std::make_shared<RecordTable>(*names);
        odbc::TextValue value;
        for (;;) {
            switch (statement->fetch()) {
            case odbc::Statement::Fetch::End:
                return std::make_unique<RecordSnapshot>(std::move(table));
            case odbc::Statement::Fetch::Failed:
                error = statement->errorText();
                return nullptr;
            case odbc::Statement::Fetch::Row:
                break;
            }
            for (int field = 0; field < table->fieldCount(); ++field) {
                if (!statement->read(field, value)) {
                    error = statement->errorText();
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
    auto reader = std::make_unique<StatementRowReader>(m_handles->connection);
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
    const ReadTransaction transaction(m_handles->connection);
    std::optional<odbc::Statement> statement = odbc::Statement::execute(m_handles->connection, *query, error);
    if (!statement)
        return std::nullopt;
    return statement->columnNames(error);
}

} // namespace tramelo
