#include "odbc_picker.h"

#include "database_route.h"
#include "odbc_connection.h"

#include <array>

namespace tramelo {

namespace {

using ListFunction = SQLRETURN (*)(SQLHENV, SQLUSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *,
                                   SQLCHAR *, SQLSMALLINT, SQLSMALLINT *);

// SQLDataSources and SQLDrivers share their shape: a name and a description
// per call, first then next until there are no more.
std::optional<QList<OdbcListEntry>> listFromDriverManager(ListFunction list, QString &error)
{
    const odbc::Handle environment = odbc::allocateEnvironment();
    if (!environment) {
        error = QStringLiteral("El gestor de controladors ODBC no respon");
        return std::nullopt;
    }
    QList<OdbcListEntry> entries;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    // The configuration files hold a bounded number of entries; the bound
    // only guards against a driver manager that never says it is done.
    for (int i = 0; i < 100000; ++i) {
        std::array<SQLCHAR, 512> name{};
        std::array<SQLCHAR, 2048> description{};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT descriptionLength = 0;
        const SQLRETURN rc = list(environment.get(), direction, name.data(), SQLSMALLINT(name.size()), &nameLength,
                                  description.data(), SQLSMALLINT(description.size()), &descriptionLength);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc)) {
            error = odbc::orUndescribedError(environment.diagnostics());
            return std::nullopt;
        }
        entries.append({odbc::fromDriverText(name.data(), qMin<qsizetype>(nameLength, qsizetype(name.size()) - 1)),
                        odbc::fromDriverText(description.data(),
                                             qMin<qsizetype>(descriptionLength, qsizetype(description.size()) - 1))});
        direction = SQL_FETCH_NEXT;
    }
    return entries;
}

} // namespace

std::optional<QList<OdbcListEntry>> odbcDataSources(QString &error)
{
    return listFromDriverManager(&SQLDataSources, error);
}

std::optional<QList<OdbcListEntry>> odbcDrivers(QString &error)
{
    return listFromDriverManager(&SQLDrivers, error);
}

std::optional<QString> completeOdbcConnectString(const QString &pickerConnectString, QString &error)
{
    const QString connectString = pickerConnectString.startsWith(odbcConnectPrefix, Qt::CaseInsensitive)
        ? pickerConnectString.mid(odbcConnectPrefix.size())
        : pickerConnectString;
    // A string the recipient connection would refuse, or read without its
    // driver (SQLite3's), is not given to the driver either.
    const std::optional<DatabaseRoute> route = databaseRouteOf(connectString, error);
    if (!route)
        return std::nullopt;
    if (route->engine != DatabaseRoute::Engine::Odbc)
        return odbcConnectPrefix + connectString;
    odbc::Connection connection;
    if (!connection.open(connectString, odbc::Connection::Access::ReadWrite, error))
        return std::nullopt;
    const QString completed = connection.completedConnectString();
    if (completed.isEmpty() || completed == connectString)
        return odbcConnectPrefix + connectString;
    // Some drivers complete a string in a form that does not open again (the
    // SQLite3 driver answers DRIVER= with an empty DSN=): the operator's own
    // string, which just opened, is kept then.
    odbc::Connection reopened;
    QString reopenError;
    return odbcConnectPrefix + (reopened.open(completed, odbc::Connection::Access::ReadWrite, reopenError) ? completed : connectString);
}

} // namespace tramelo
