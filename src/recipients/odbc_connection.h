#pragma once

#include "odbc_handle.h"
#include "query_control.h"

#include <QString>

#include <chrono>

namespace tramelo::odbc {

// A driver manager environment with ODBC 3 behaviour; empty when the driver
// manager cannot provide one.
Handle allocateEnvironment();

// One connection with its own environment; disconnects and frees both when
// it goes.
class Connection
{
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // A read-only connection asks the driver to refuse writes, and the
    // server too where the program knows how (PostgreSQL, MySQL and
    // MariaDB), and commits nothing: what a statement changed anyway is
    // rolled back. Its server is also told the query time limit where the
    // driver does not pass it on (MariaDB, MySQL).
    enum class Access { ReadWrite, ReadOnly };
    // Connects with the connect string, never prompting, waiting for the
    // server no longer than the query time limit. On failure returns false
    // with the driver's own text in error.
    bool open(const QString &connectString, Access access, QString &error);

    // How long each call of a statement on the connection may wait; set
    // before open().
    std::chrono::seconds queryTimeLimit() const { return m_queryTimeLimit; }
    void setQueryTimeLimit(std::chrono::seconds limit) { m_queryTimeLimit = limit; }
    bool isOpen() const { return m_connected; }

    // Ends a read-only connection's transaction, undoing whatever it did;
    // nothing for other connections or a driver without transactions.
    void rollback();
    SQLHDBC get() const { return m_connection.get(); }

    // The connect string as the driver completed it while connecting.
    QString completedConnectString() const { return m_completed; }
    // The name the driver gives its database system ("PostgreSQL",
    // "MariaDB"...), empty when it does not say.
    QString dbmsName() const { return m_dbmsName; }
    // The catalog (for MySQL, the database) the connection works in, empty
    // when the driver has none.
    QString currentCatalog() const;

private:
    void close();
    QString infoText(SQLUSMALLINT type) const;
    bool holdServerToReading(QString &error);
    bool runOnServer(const QString &statement, QString &error);

    Handle m_environment;
    Handle m_connection;
    bool m_connected = false;
    bool m_manualCommit = false;
    std::chrono::seconds m_queryTimeLimit = recipientQueryTimeLimit;
    QString m_completed;
    QString m_dbmsName;
};

} // namespace tramelo::odbc
