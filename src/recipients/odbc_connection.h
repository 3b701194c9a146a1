#pragma once

#include "odbc_handle.h"

#include <QString>

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
    // rolled back.
    enum class Access { ReadWrite, ReadOnly };
    // Connects with the connect string, never prompting. On failure returns
    // false with the driver's own text in error.
    bool open(const QString &connectString, Access access, QString &error);
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

    Handle m_environment;
    Handle m_connection;
    bool m_connected = false;
    bool m_manualCommit = false;
    QString m_completed;
    QString m_dbmsName;
};

} // namespace tramelo::odbc
