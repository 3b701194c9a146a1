#include "database_servers.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <unistd.h>

namespace tramelo::test {

namespace {

constexpr std::chrono::seconds startTimeout{30};
constexpr int setUpTimeoutMs = 60000;
constexpr int clientTimeoutMs = 30000;
constexpr int portAttempts = 3;

const QString postgresBin = QStringLiteral("/usr/lib/postgresql/15/bin/");

bool isRoot()
{
    return ::geteuid() == 0;
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

QString missingUnless(const QStringList &programs, const QString &package)
{
    for (const QString &program : programs) {
        if (!QFileInfo(program).isExecutable())
            return package;
    }
    return {};
}

} // namespace

DatabaseServer::~DatabaseServer()
{
    stop();
}

bool DatabaseServer::start()
{
    if (const QString missing = missingPackage(); !missing.isEmpty()) {
        m_error = QStringLiteral("%1 cannot run here: install the Debian package %2").arg(name(), missing);
        return false;
    }
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("cannot make a temporary folder: ") + m_folder.errorString();
        return false;
    }
    if (!makeDataFolder(m_error))
        return false;
    for (int attempt = 0; attempt < portAttempts; ++attempt) {
        const quint16 port = freeTcpPort();
        if (startOnPort(m_process, port) && m_process.waitForOutput(readyMarker().toUtf8(), startTimeout)) {
            m_port = port;
            return true;
        }
        m_process.stop();
    }
    m_error = QStringLiteral("%1 did not start:\n%2").arg(name(), QString::fromLocal8Bit(m_process.readOutput()));
    return false;
}

void DatabaseServer::stop()
{
    if (!m_process.isRunning())
        return;
    ::kill(pid_t(m_process.process().processId()), stopSignal());
    m_process.process().waitForFinished(10000);
    m_process.stop();
}

bool DatabaseServer::runToEnd(const QString &program, const QStringList &arguments,
                              const std::optional<ServerAccount> &account, QString &error)
{
    TestProcess process;
    const bool done = process.start(program, arguments, account) && process.process().waitForFinished(setUpTimeoutMs)
        && process.process().exitStatus() == QProcess::NormalExit && process.process().exitCode() == 0;
    if (!done)
        error = QStringLiteral("%1 failed:\n%2").arg(program, QString::fromLocal8Bit(process.readOutput()));
    return done;
}

bool DatabaseServer::createDatabase(const QString &database, const QStringList &statements, QString &error)
{
    return runSql(QString(), {QStringLiteral("CREATE DATABASE ") + quoted(database)}, error)
        && runSql(database, statements, error);
}

QString DatabaseServer::sessionsRunning(const QString &query)
{
    const QString count = name() == QLatin1String("PostgreSQL")
        ? QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND strpos(query, '%1') > 0"
                         " AND pid <> pg_backend_pid()")
        : QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INSTR(INFO, '%1') > 0"
                         " AND ID <> CONNECTION_ID()");
    QString output;
    runSql(QString(), {count.arg(QString(query).replace(u'\'', QLatin1String("''")))}, output);
    return output;
}

bool DatabaseServer::createReadOnlyAccount(const QString &database, QString &error)
{
    return runSql(database, readOnlyAccountStatements(database), error);
}

bool DatabaseServer::runSql(const QString &database, const QStringList &statements, QString &output)
{
    QProcess client;
    client.setProcessEnvironment(clientEnvironment());
    client.start(clientProgram(), clientArguments(database));
    client.write((statements.join(QStringLiteral(";\n")) + QStringLiteral(";\n")).toUtf8());
    client.closeWriteChannel();
    const bool done = client.waitForFinished(clientTimeoutMs) && client.exitStatus() == QProcess::NormalExit
        && client.exitCode() == 0;
    if (!done)
        client.kill();
    output = QString::fromUtf8(client.readAllStandardOutput());
    if (!done)
        output = QStringLiteral("%1 failed: %2%3").arg(clientProgram(), output, QString::fromUtf8(client.readAllStandardError()));
    return done;
}

QString PostgresServer::missingPackage() const
{
    return missingUnless({postgresBin + QStringLiteral("initdb"), postgresBin + QStringLiteral("postgres"),
                          postgresBin + QStringLiteral("psql")},
                         QStringLiteral("postgresql"));
}

QString PostgresServer::connectString(const QString &database, const QString &account, const QString &password) const
{
    return QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=%1;DATABASE=%2;UID=%3;PWD=%4")
        .arg(port())
        .arg(database, account, password);
}

QStringList PostgresServer::readOnlyAccountStatements(const QString &database) const
{
    return {QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(readerName(database), password()),
            QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(readerName(database))};
}

QString PostgresServer::quoted(const QString &identifier) const
{
    return u'"' + QString(identifier).replace(u'"', QLatin1String("\"\"")) + u'"';
}

bool PostgresServer::makeDataFolder(QString &error)
{
    // PostgreSQL refuses to run as root: as root, the folder goes to the
    // unprivileged account that runs it.
    const std::optional<ServerAccount> account = serverAccount();
    const QString passwordFile = path(QStringLiteral("password"));
    if (!account || !writeFile(passwordFile, password().toUtf8()) || !changeOwner(path({}), *account)
        || !changeOwner(passwordFile, *account)) {
        error = QStringLiteral("cannot prepare the folder of PostgreSQL for the account \"nobody\"");
        return false;
    }
    return runToEnd(postgresBin + QStringLiteral("initdb"),
                    {QStringLiteral("--pgdata=") + path(QStringLiteral("data")), QStringLiteral("--username=") + user(),
                     QStringLiteral("--pwfile=") + passwordFile, QStringLiteral("--auth=scram-sha-256"),
                     QStringLiteral("--encoding=UTF8"), QStringLiteral("--no-locale"), QStringLiteral("--no-sync"),
                     QStringLiteral("--no-instructions")},
                    account, error);
}

bool PostgresServer::startOnPort(TestProcess &process, quint16 port)
{
    // TCP on loopback only: no socket file in the system's folder.
    return process.start(postgresBin + QStringLiteral("postgres"),
                         {QStringLiteral("-D"), path(QStringLiteral("data")), QStringLiteral("-p"), QString::number(port),
                          QStringLiteral("-c"), QStringLiteral("listen_addresses=127.0.0.1"), QStringLiteral("-c"),
                          QStringLiteral("unix_socket_directories="), QStringLiteral("-c"), QStringLiteral("fsync=off")},
                         serverAccount());
}

QString PostgresServer::clientProgram() const
{
    return postgresBin + QStringLiteral("psql");
}

QStringList PostgresServer::clientArguments(const QString &database) const
{
    return {QStringLiteral("--no-psqlrc"), QStringLiteral("--quiet"), QStringLiteral("--no-align"),
            QStringLiteral("--tuples-only"), QStringLiteral("--field-separator=\t"),
            QStringLiteral("--set=ON_ERROR_STOP=1"), QStringLiteral("--host=127.0.0.1"),
            QStringLiteral("--port=") + QString::number(port()), QStringLiteral("--username=") + user(),
            QStringLiteral("--dbname=") + (database.isEmpty() ? QStringLiteral("postgres") : database)};
}

QProcessEnvironment PostgresServer::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), password());
    environment.insert(QStringLiteral("PGCLIENTENCODING"), QStringLiteral("UTF8"));
    return environment;
}

QString MariaDbServer::missingPackage() const
{
    return missingUnless({QStringLiteral("/usr/bin/mariadb-install-db"), QStringLiteral("/usr/sbin/mariadbd"), clientProgram()},
                         QStringLiteral("mariadb-server"));
}

QString MariaDbServer::connectString(const QString &database, const QString &account, const QString &password) const
{
    return QStringLiteral("DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=%1;DATABASE=%2;UID=%3;PWD=%4")
        .arg(port())
        .arg(database, account, password);
}

QStringList MariaDbServer::readOnlyAccountStatements(const QString &database) const
{
    return {QStringLiteral("CREATE USER '%1'@'127.0.0.1' IDENTIFIED BY '%2'").arg(readerName(database), password()),
            QStringLiteral("GRANT SELECT ON %1.* TO '%2'@'127.0.0.1'").arg(quoted(database), readerName(database))};
}

QString MariaDbServer::quoted(const QString &identifier) const
{
    return u'`' + QString(identifier).replace(u'`', QLatin1String("``")) + u'`';
}

bool MariaDbServer::makeDataFolder(QString &error)
{
    // The user is made at every start, and may make read-only accounts;
    // the system tables come without a look-up of the machine's name
    // (--cross-bootstrap).
    const QByteArray makeUser = QStringLiteral("CREATE USER IF NOT EXISTS '%1'@'127.0.0.1' IDENTIFIED BY '%2';\n"
                                               "GRANT ALL ON *.* TO '%1'@'127.0.0.1' WITH GRANT OPTION;\n")
                                    .arg(user(), password())
                                    .toUtf8();
    if (!writeFile(path(QStringLiteral("user.sql")), makeUser)) {
        error = QStringLiteral("cannot write the start-up file of MariaDB");
        return false;
    }
    QStringList arguments = {QStringLiteral("--no-defaults"), QStringLiteral("--datadir=") + path(QStringLiteral("data")),
                             QStringLiteral("--auth-root-authentication-method=normal"), QStringLiteral("--skip-test-db"),
                             QStringLiteral("--cross-bootstrap"), QStringLiteral("--skip-name-resolve")};
    if (isRoot())
        arguments << QStringLiteral("--user=root");
    return runToEnd(QStringLiteral("/usr/bin/mariadb-install-db"), arguments, std::nullopt, error);
}

bool MariaDbServer::startOnPort(TestProcess &process, quint16 port)
{
    // Names are never resolved: clients are known by their address alone.
    QStringList arguments = {
        QStringLiteral("--no-defaults"), QStringLiteral("--datadir=") + path(QStringLiteral("data")),
        QStringLiteral("--socket=") + path(QStringLiteral("mariadbd.sock")),
        QStringLiteral("--pid-file=") + path(QStringLiteral("mariadbd.pid")), QStringLiteral("--port=") + QString::number(port),
        QStringLiteral("--bind-address=127.0.0.1"), QStringLiteral("--skip-name-resolve"),
        QStringLiteral("--init-file=") + path(QStringLiteral("user.sql")), QStringLiteral("--character-set-server=utf8mb4"),
        QStringLiteral("--innodb-flush-log-at-trx-commit=0")};
    if (isRoot())
        arguments << QStringLiteral("--user=root");
    return process.start(QStringLiteral("/usr/sbin/mariadbd"), arguments);
}

QStringList MariaDbServer::clientArguments(const QString &database) const
{
    QStringList arguments = {QStringLiteral("--no-defaults"), QStringLiteral("--protocol=TCP"),
                             QStringLiteral("--host=127.0.0.1"), QStringLiteral("--port=") + QString::number(port()),
                             QStringLiteral("--user=") + user(), QStringLiteral("--password=") + password(),
                             QStringLiteral("--default-character-set=utf8mb4"), QStringLiteral("--batch"),
                             QStringLiteral("--skip-column-names")};
    if (!database.isEmpty())
        arguments << database;
    return arguments;
}

} // namespace tramelo::test
