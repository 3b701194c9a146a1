#pragma once

#include "test_support.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>

namespace tramelo::test {

// A database server of Debian's packages for the tests: a data folder of its
// own in a temporary folder, its own configuration (the system's service and
// files are never touched), listening on 127.0.0.1 only at a free port, and
// one user with a password. Stopped, and its folder removed, when the object
// goes. As root, PostgreSQL runs as "nobody" (it refuses root) and MariaDB
// as root.
class DatabaseServer
{
public:
    virtual ~DatabaseServer();

    // "PostgreSQL" or "MariaDB", for the tests' traces.
    virtual QString name() const = 0;
    // The Debian package that is not installed, or empty: the only reason a
    // test may skip.
    virtual QString missingPackage() const = 0;

    // Makes the data folder, starts the server and waits until it takes
    // connections; false with errorText() (which quotes the server's output).
    bool start();
    QString errorText() const { return m_error; }
    quint16 port() const { return m_port; }
    QString user() const { return QStringLiteral("tramelo"); }
    QString password() const { return QStringLiteral("clau-secreta"); }

    // A new UTF-8 database holding what the statements make, run in order by
    // the server's own client; false with the client's output in error.
    bool createDatabase(const QString &database, const QStringList &statements, QString &error);
    // The statements run in an existing database, and what the client
    // printed of their results (values separated by tabs, one row a line).
    bool runSql(const QString &database, const QStringList &statements, QString &output);

    // How many other sessions run a query holding this text now, as the server's client
    // prints the count ("0\n"); the client's complaint when it fails.
    QString sessionsRunning(const QString &query);

    // An account that may only read the tables of one database, made as
    // the README tells an operator to make one; the server's own user is
    // the superuser (PostgreSQL) or has every privilege (MariaDB).
    bool createReadOnlyAccount(const QString &database, QString &error);
    QString readerName(const QString &database) const { return QStringLiteral("lector_") + database; }

    // The ODBC connect string of one database, through the driver Debian
    // registers for the server ({PostgreSQL Unicode}, {MariaDB Unicode}),
    // as the server's user or as the database's read-only account.
    QString connectString(const QString &database) const { return connectString(database, user(), password()); }
    QString readOnlyConnectString(const QString &database) const
    {
        return connectString(database, readerName(database), password());
    }
    virtual QString connectString(const QString &database, const QString &account, const QString &password) const = 0;
    // A name quoted as the server reads it.
    virtual QString quoted(const QString &identifier) const = 0;

protected:
    virtual bool makeDataFolder(QString &error) = 0;
    virtual bool startOnPort(TestProcess &process, quint16 port) = 0;
    virtual QString readyMarker() const = 0;
    virtual int stopSignal() const { return SIGTERM; }
    virtual QStringList readOnlyAccountStatements(const QString &database) const = 0;
    virtual QString clientProgram() const = 0;
    virtual QStringList clientArguments(const QString &database) const = 0;
    virtual QProcessEnvironment clientEnvironment() const { return QProcessEnvironment::systemEnvironment(); }

    QString path(const QString &name) const { return m_folder.filePath(name); }
    // Runs a program of the package to its end (as the account when given).
    bool runToEnd(const QString &program, const QStringList &arguments, const std::optional<ServerAccount> &account,
                  QString &error);

private:
    void stop();

    QTemporaryDir m_folder;
    TestProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

class PostgresServer : public DatabaseServer
{
public:
    QString name() const override { return QStringLiteral("PostgreSQL"); }
    QString missingPackage() const override;
    using DatabaseServer::connectString;
    QString connectString(const QString &database, const QString &account, const QString &password) const override;
    QString quoted(const QString &identifier) const override;

protected:
    bool makeDataFolder(QString &error) override;
    bool startOnPort(TestProcess &process, quint16 port) override;
    QStringList readOnlyAccountStatements(const QString &database) const override;
    QString readyMarker() const override { return QStringLiteral("database system is ready to accept connections"); }
    // A fast shutdown: sessions still open do not hold it up.
    int stopSignal() const override { return SIGINT; }
    QString clientProgram() const override;
    QStringList clientArguments(const QString &database) const override;
    QProcessEnvironment clientEnvironment() const override;
};

class MariaDbServer : public DatabaseServer
{
public:
    QString name() const override { return QStringLiteral("MariaDB"); }
    QString missingPackage() const override;
    using DatabaseServer::connectString;
    QString connectString(const QString &database, const QString &account, const QString &password) const override;
    QString quoted(const QString &identifier) const override;

protected:
    bool makeDataFolder(QString &error) override;
    bool startOnPort(TestProcess &process, quint16 port) override;
    QStringList readOnlyAccountStatements(const QString &database) const override;
    QString readyMarker() const override { return QStringLiteral("ready for connections"); }
    QString clientProgram() const override { return QStringLiteral("/usr/bin/mariadb"); }
    QStringList clientArguments(const QString &database) const override;
};

} // namespace tramelo::test
