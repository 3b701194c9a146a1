#include "dovecot_pop3_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>

namespace tramelo::test {

namespace {

constexpr std::chrono::seconds startTimeout{20};
constexpr int portAttempts = 3;
bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

// Dovecot's own defaults run its helpers as the users "dovecot" and
// "dovenull" and lock the login process in a chroot, which needs root.
// Without root, every helper runs as the current user, without chroot, and
// its sockets keep the current user's group.
QByteArray unprivilegedSettings(const QString &userName)
{
    return QStringLiteral("default_internal_user = %1\n"
                          "default_login_user = %1\n"
                          "service anvil {\n  chroot =\n}\n"
                          "service stats {\n  unix_listener stats-writer {\n    group =\n  }\n}\n"
                          "service dict {\n  unix_listener dict {\n    group =\n  }\n}\n"
                          "service dict-async {\n  unix_listener dict-async {\n    group =\n  }\n}\n")
        .arg(userName)
        .toUtf8();
}

} // namespace

bool DovecotPop3Server::start()
{
    if (!QFileInfo(program()).isExecutable()) {
        m_error = program() + QStringLiteral(" is missing: install the Debian package dovecot-pop3d");
        return false;
    }
    if (!prepareFolder(m_error))
        return false;
    for (int attempt = 0; attempt < portAttempts; ++attempt) {
        if (startOnPort(freeTcpPort()))
            return true;
    }
    m_error = QStringLiteral("Dovecot did not start: %1\n%2")
                  .arg(QString::fromLocal8Bit(m_process.readOutput()), QString::fromLocal8Bit(log()));
    return false;
}

bool DovecotPop3Server::prepareFolder(QString &error)
{
    if (!m_folder.isValid()) {
        error = QStringLiteral("cannot make a temporary folder: ") + m_folder.errorString();
        return false;
    }
    if (m_user.contains(QLatin1Char(':')) || m_password.contains(QLatin1Char(':'))) {
        error = QStringLiteral("the POP3 user and password cannot hold \":\" (the password file's separator)");
        return false;
    }
    // As root, the mailbox belongs to an ordinary user: Dovecot refuses to
    // open mail with root's privileges.
    const std::optional<ServerAccount> account = serverAccount();
    if (!account) {
        error = QStringLiteral("no account to own the test mailbox (\"nobody\")");
        return false;
    }
    // Dovecot's unprivileged helpers must reach the password file and the
    // mailbox inside the folder.
    QFile::setPermissions(m_folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                               | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    const QString home = m_folder.filePath(QStringLiteral("home"));
    if (!QDir().mkpath(home) || !changeOwner(home, *account)) {
        error = QStringLiteral("cannot make the mailbox folder ") + home;
        return false;
    }
    const QString users = QStringLiteral("%1:{PLAIN}%2:%3:%4::%5\n")
                              .arg(m_user, m_password)
                              .arg(account->uid)
                              .arg(account->gid)
                              .arg(home);
    if (!writeFile(m_folder.filePath(QStringLiteral("users")), users.toUtf8())) {
        error = QStringLiteral("cannot write the password file");
        return false;
    }
    return true;
}

bool DovecotPop3Server::startOnPort(quint16 port)
{
    const ServerAccount account = serverAccount().value_or(ServerAccount{});
    const QString folder = m_folder.path();
    QByteArray config = QStringLiteral("protocols = pop3\n"
                                       "listen = 127.0.0.1\n"
                                       "base_dir = %1/run\n"
                                       "state_dir = %1/state\n"
                                       "log_path = %1/dovecot.log\n"
                                       "ssl = no\n"
                                       "disable_plaintext_auth = no\n"
                                       "auth_failure_delay = 0\n"
                                       "first_valid_uid = %2\n"
                                       "mail_location = maildir:~/Maildir\n"
                                       "passdb {\n  driver = passwd-file\n  args = %1/users\n}\n"
                                       "userdb {\n  driver = passwd-file\n  args = %1/users\n}\n"
                                       "service pop3-login {\n%3"
                                       "  inet_listener pop3 {\n    port = %4\n  }\n"
                                       "  inet_listener pop3s {\n    port = 0\n  }\n"
                                       "}\n")
                             .arg(folder)
                             .arg(account.uid)
                             .arg(::geteuid() == 0 ? QString() : QStringLiteral("  chroot =\n"))
                             .arg(port)
                             .toUtf8();
    if (::geteuid() != 0)
        config += unprivilegedSettings(account.name);
    const QString configPath = m_folder.filePath(QStringLiteral("dovecot.conf"));
    if (!writeFile(configPath, config))
        return false;

    if (!m_process.start(program(), {QStringLiteral("-F"), QStringLiteral("-c"), configPath}))
        return false;
    if (!greets(port)) {
        m_process.stop();
        return false;
    }
    m_port = port;
    return true;
}

bool DovecotPop3Server::greets(quint16 port)
{
    QDeadlineTimer deadline(startTimeout);
    while (!deadline.hasExpired() && m_process.isRunning()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200) && probe.waitForReadyRead(2000))
            return probe.readAll().startsWith("+OK");
        QThread::msleep(20);
    }
    return false;
}

QByteArray DovecotPop3Server::log() const
{
    QFile file(m_folder.filePath(QStringLiteral("dovecot.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace tramelo::test
