#include "odbc_connection.h"

#include "server_kind.h"

#include <vector>

namespace tramelo::odbc {

Handle allocateEnvironment()
{
    Handle environment = Handle::allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    if (environment
        && !SQL_SUCCEEDED(SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                                        reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
        return {};
    }
    return environment;
}

Connection::~Connection()
{
    close();
}

void Connection::rollback()
{
    if (m_connected && m_manualCommit)
        SQLEndTran(SQL_HANDLE_DBC, m_connection.get(), SQL_ROLLBACK);
}

void Connection::close()
{
    rollback();
    if (m_connected)
        SQLDisconnect(m_connection.get());
    m_connected = false;
    m_manualCommit = false;
    m_completed.clear();
    m_dbmsName.clear();
    // The connection goes before the environment it lives in.
    m_connection = Handle();
    m_environment = Handle();
}

bool Connection::open(const QString &connectString, Access access, QString &error)
{
    close();
    m_environment = allocateEnvironment();
    if (m_environment)
        m_connection = Handle::allocate(SQL_HANDLE_DBC, m_environment.get());
    if (!m_connection) {
        error = QStringLiteral("El gestor de controladors ODBC no ha pogut crear la connexió");
        return false;
    }

    // Only a hint: drivers that honour it refuse any statement that writes
    // (the SQLite3 and MDBTools drivers accept it and go on as before), so
    // a read-only connection also commits nothing.
    if (access == Access::ReadOnly)
        SQLSetConnectAttr(m_connection.get(), SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
    SQLSetConnectAttr(m_connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(SQLULEN(m_queryTimeLimit.count())), 0);

    QByteArray in = toDriverText(connectString);
    // Room for what drivers add while completing the string, within the
    // API's 16-bit lengths.
    std::vector<SQLCHAR> out(std::size_t(qMin<qsizetype>(in.size() + 4096, 32767)));
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(m_connection.get(), nullptr,
                                          reinterpret_cast<SQLCHAR *>(in.data()), SQL_NTS,
                                          out.data(), SQLSMALLINT(out.size()), &outLength,
                                          SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        error = orUndescribedError(m_connection.diagnostics());
        return false;
    }
    m_connected = true;
    m_dbmsName = infoText(SQL_DBMS_NAME);
    if (access == Access::ReadOnly && !holdServerToReading(error)) {
        close();
        return false;
    }
    m_manualCommit = access == Access::ReadOnly
        && SQL_SUCCEEDED(SQLSetConnectAttr(m_connection.get(), SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0));
    m_completed = fromDriverText(out.data(), qMin<qsizetype>(outLength, qsizetype(out.size()) - 1));
    return true;
}

QString Connection::infoText(SQLUSMALLINT type) const
{
    std::vector<SQLCHAR> text(256);
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(m_connection.get(), type, text.data(), SQLSMALLINT(text.size()), &length)))
        return {};
    return fromDriverText(text.data(), qMin<qsizetype>(length, qsizetype(text.size()) - 1));
}

QString Connection::currentCatalog() const
{
    std::vector<SQLCHAR> text(256);
    SQLINTEGER length = 0;
    if (!m_connected
        || !SQL_SUCCEEDED(SQLGetConnectAttr(m_connection.get(), SQL_ATTR_CURRENT_CATALOG, text.data(),
                                            SQLINTEGER(text.size()), &length)))
        return {};
    return fromDriverText(text.data(), qBound(qsizetype(0), qsizetype(length), qsizetype(text.size()) - 1));
}

// The drivers of server databases take the access mode for a hint and go on
// writing, and a rollback does not undo everything (a sequence that moved,
// a table without transactions): the server itself is told. This runs while
// each statement still commits, so that the setting outlives the rollbacks
// that follow; a server that refuses it is not used. The query time limit
// goes the same way where the driver does not pass it on.
bool Connection::holdServerToReading(QString &error)
{
    const QString readOnly = readOnlySessionStatement(serverKindNamed(m_dbmsName));
    if (!readOnly.isEmpty() && !runOnServer(readOnly, error))
        return false;
    // A server too old to know the setting is still used, without it.
    const QString timeLimit = sessionTimeLimitStatement(m_dbmsName, m_queryTimeLimit);
    QString refused;
    if (!timeLimit.isEmpty())
        runOnServer(timeLimit, refused);
    return true;
}

bool Connection::runOnServer(const QString &statement, QString &error)
{
    const Handle handle = Handle::allocate(SQL_HANDLE_STMT, m_connection.get());
    QByteArray text = toDriverText(statement);
    if (handle && SQL_SUCCEEDED(SQLExecDirect(handle.get(), reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS)))
        return true;
    error = orUndescribedError(handle ? handle.diagnostics() : QString());
    return false;
}

} // namespace tramelo::odbc
