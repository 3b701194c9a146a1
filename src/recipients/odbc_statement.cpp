#include "odbc_statement.h"

#include <vector>

namespace tramelo::odbc {

namespace {

Handle allocateStatement(const Connection &connection, QString &error)
{
    if (!connection.isOpen()) {
        error = QStringLiteral("La connexió amb la base de dades no està oberta");
        return {};
    }
    Handle statement = Handle::allocate(SQL_HANDLE_STMT, connection.get());
    if (!statement)
        error = QStringLiteral("El gestor de controladors ODBC no ha pogut preparar la consulta");
    return statement;
}

int resultColumnCount(const Handle &statement)
{
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement.get(), &count)))
        return 0;
    return count;
}

// Characters read per SQLGetData call; longer values take several calls.
constexpr qsizetype readChunk = 1024;

} // namespace

Statement::Statement(Handle statement)
    : m_statement(std::move(statement))
    , m_columnCount(resultColumnCount(m_statement))
{
}

std::optional<Statement> Statement::execute(const Connection &connection, const QString &sql, QString &error)
{
    Handle statement = allocateStatement(connection, error);
    if (!statement)
        return std::nullopt;
    QByteArray text = toDriverText(sql);
    const SQLRETURN rc = SQLExecDirect(statement.get(), reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS);
    // SQL_NO_DATA: a statement that yields no result set at all.
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        error = orUndescribedError(statement.diagnostics());
        return std::nullopt;
    }
    return Statement(std::move(statement));
}

std::optional<Statement> Statement::tables(const Connection &connection, QString &error)
{
    Handle statement = allocateStatement(connection, error);
    if (!statement)
        return std::nullopt;
    if (!SQL_SUCCEEDED(SQLTables(statement.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0))) {
        error = orUndescribedError(statement.diagnostics());
        return std::nullopt;
    }
    return Statement(std::move(statement));
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
    const SQLRETURN rc = SQLFetch(m_statement.get());
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
