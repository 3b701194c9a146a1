#include "odbc_statement.h"

#include <vector>

namespace tramelo::odbc {

namespace {

int resultColumnCount(const Handle &statement)
{
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement.get(), &count)))
        return 0;
    return count;
}

constexpr std::chrono::seconds serverClockTolerance{1};

// Characters read per SQLGetData call; longer values take several calls.
constexpr qsizetype readChunk = 1024;

} // namespace

Statement::Statement(Handle statement, std::chrono::seconds timeLimit)
    : m_statement(std::move(statement))
    , m_timeLimit(timeLimit)
    , m_cancellation([handle = m_statement.get()] { SQLCancel(handle); })
{
    // Drivers that know it end the query on the server when the time is
    // up; MariaDB's does not, and its session is given a limit of its own
    // (see Connection).
    SQLSetStmtAttr(m_statement.get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(timeLimit.count())), 0);
}

std::unique_ptr<Statement> Statement::start(const Connection &connection, QString &error)
{
    if (!connection.isOpen()) {
        error = QStringLiteral("La connexió amb la base de dades no està oberta");
        return nullptr;
    }
    Handle statement = Handle::allocate(SQL_HANDLE_STMT, connection.get());
    if (!statement) {
        error = QStringLiteral("El gestor de controladors ODBC no ha pogut preparar la consulta");
        return nullptr;
    }
    return std::unique_ptr<Statement>(new Statement(std::move(statement), connection.queryTimeLimit()));
}

template<typename DriverCall>
SQLRETURN Statement::waitFor(QueryCancellation::Call::Kind kind, DriverCall call)
{
    const QueryCancellation::Call inProgress(m_cancellation, kind);
    if (inProgress.refused())
        return SQL_ERROR;
    const auto started = std::chrono::steady_clock::now();
    const SQLRETURN rc = call();
    // Each driver says a time-out in words of its own: a call that failed
    // once the limit was reached was ended by it. The server keeps time on
    // its own clock, and MariaDB's ends a query some milliseconds early.
    m_timedOut = !SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA
        && std::chrono::steady_clock::now() - started + serverClockTolerance >= m_timeLimit;
    return rc;
}

std::unique_ptr<Statement> Statement::execute(const Connection &connection, const QString &sql, QString &error)
{
    std::unique_ptr<Statement> statement = start(connection, error);
    if (!statement)
        return nullptr;
    QByteArray text = toDriverText(sql);
    const SQLRETURN rc = statement->waitFor(QueryCancellation::Call::Kind::Start, [&] {
        return SQLExecDirect(statement->m_statement.get(), reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS);
    });
    // SQL_NO_DATA: a statement that yields no result set at all. A query
    // cancelled by a stop may still return its rows (a server's SLEEP() ends
    // early, and well): they are not the query's.
    if ((!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) || statement->m_cancellation.cancelled()) {
        error = statement->errorText();
        return nullptr;
    }
    statement->m_columnCount = resultColumnCount(statement->m_statement);
    return statement;
}

std::unique_ptr<Statement> Statement::tables(const Connection &connection, QString &error)
{
    std::unique_ptr<Statement> statement = start(connection, error);
    if (!statement)
        return nullptr;
    const SQLRETURN rc = statement->waitFor(QueryCancellation::Call::Kind::Start, [&] {
        return SQLTables(statement->m_statement.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
    });
    if (!SQL_SUCCEEDED(rc) || statement->m_cancellation.cancelled()) {
        error = statement->errorText();
        return nullptr;
    }
    statement->m_columnCount = resultColumnCount(statement->m_statement);
    return statement;
}

QString Statement::errorText() const
{
    if (m_cancellation.cancelled())
        return queryStoppedMessage();
    const QString diagnostics = orUndescribedError(m_statement.diagnostics());
    if (m_timedOut)
        return queryTimedOutMessage(m_timeLimit) + QStringLiteral(". Resposta del controlador:\n") + diagnostics;
    return diagnostics;
}

std::optional<QStringList> Statement::columnNames(QString &error) const
{
    QStringList names;
    for (int column = 0; column < m_columnCount; ++column) {
        std::vector<SQLCHAR> name(256);
        SQLSMALLINT length = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        SQLRETURN rc = SQL_ERROR;
        // A second pass with the length the driver asked for, if the first
        // buffer was too small.
        for (int pass = 0; pass < 2; ++pass) {
            rc = SQLDescribeCol(m_statement.get(), SQLUSMALLINT(column + 1), name.data(),
                                SQLSMALLINT(name.size()), &length, &type, &size, &digits, &nullable);
            if (!SQL_SUCCEEDED(rc) || length < SQLSMALLINT(name.size()))
                break;
            name.resize(std::size_t(length) + 1);
        }
        if (!SQL_SUCCEEDED(rc)) {
            error = errorText();
            return std::nullopt;
        }
        names.append(fromDriverText(name.data(), qMin<qsizetype>(length, qsizetype(name.size()) - 1)));
    }
    return names;
}

Statement::Fetch Statement::fetch()
{
    const SQLRETURN rc =
        waitFor(QueryCancellation::Call::Kind::Continue, [this] { return SQLFetch(m_statement.get()); });
    if (m_cancellation.cancelled())
        return Fetch::Failed;
    if (rc == SQL_NO_DATA)
        return Fetch::End;
    return SQL_SUCCEEDED(rc) ? Fetch::Row : Fetch::Failed;
}

bool Statement::read(int column, TextValue &value)
{
    value.isNull = false;
    qsizetype length = 0;
    for (;;) {
        if (value.text.size() < length + readChunk)
            value.text.resize(length + readChunk);
        // Room in characters, the driver's terminating zero included.
        const qsizetype room = value.text.size() - length;
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(m_statement.get(), SQLUSMALLINT(column + 1), SQL_C_WCHAR,
                                        value.text.data() + length, SQLLEN(room * sizeof(SQLWCHAR)), &indicator);
        if (rc == SQL_NO_DATA)
            break; // every part of a long value has been read
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            value.isNull = true;
            break;
        }
        const bool truncated = rc == SQL_SUCCESS_WITH_INFO
            && (indicator == SQL_NO_TOTAL || indicator / SQLLEN(sizeof(SQLWCHAR)) >= room);
        if (!truncated) {
            length += indicator / SQLLEN(sizeof(SQLWCHAR));
            break;
        }
        length += room - 1;
    }
    value.text.truncate(length);
    return true;
}

} // namespace tramelo::odbc
