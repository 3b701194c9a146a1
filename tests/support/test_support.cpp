#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace tramelo::test {

quint16 freeTcpPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

quint16 freeUdpPort()
{
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::LocalHost, 0))
        return 0;
    return socket.localPort();
}

QString debianPython()
{
    return QStringLiteral("/usr/bin/python3");
}

QString sourceDir()
{
    const QString fromEnvironment = qEnvironmentVariable("TRAMELO_SOURCE_DIR");
    return fromEnvironment.isEmpty() ? QDir::currentPath() : fromEnvironment;
}

QString supportFile(const QString &name)
{
    return QStringLiteral(TRAMELO_TEST_SUPPORT_DIR "/") + name;
}

QString sharedDataDir()
{
    const QStringList candidates = {
        qEnvironmentVariable("TRAMELO_SHARED_DATA"),
        sourceDir() + QStringLiteral("/../shared/data"),
        QStringLiteral("/work/shared/data"),
    };
    for (const QString &candidate : candidates) {
        if (!candidate.isEmpty() && QFileInfo::exists(candidate + QStringLiteral("/nwind.mdb")))
            return QDir(candidate).absolutePath();
    }
    return {};
}

bool pumpEventsFor(std::chrono::milliseconds duration)
{
    return !waitUntil([] { return false; }, duration);
}

std::optional<ServerAccount> serverAccount()
{
    const passwd *entry = ::geteuid() == 0 ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
    if (!entry)
        return std::nullopt;
    return ServerAccount{entry->pw_uid, entry->pw_gid, QString::fromLocal8Bit(entry->pw_name)};
}

bool changeOwner(const QString &path, const ServerAccount &account)
{
    return ::chown(QFile::encodeName(path).constData(), account.uid, account.gid) == 0;
}

TestProcess::~TestProcess()
{
    stop();
}

bool TestProcess::start(const QString &program, const QStringList &arguments, const std::optional<ServerAccount> &account)
{
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    const bool changeUser = account && account->uid != ::geteuid();
    const uid_t uid = changeUser ? account->uid : 0;
    const gid_t gid = changeUser ? account->gid : 0;
    m_process.setChildProcessModifier([changeUser, uid, gid] {
        // A program must never go on as root when the change failed. The
        // signal comes after it, since a change of user clears it.
        if (changeUser && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
            ::_exit(126);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_process.start();
    return m_process.waitForStarted(10000);
}

void TestProcess::collectOutput()
{
    m_output += m_process.readAll();
}

bool TestProcess::waitForOutput(const QByteArray &marker, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    for (collectOutput(); !m_output.contains(marker); collectOutput()) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(50);
    }
    return true;
}

QRegularExpressionMatch TestProcess::waitForOutputMatch(const QRegularExpression &pattern,
                                                       std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    for (;;) {
        collectOutput();
        QRegularExpressionMatch match = pattern.match(QString::fromUtf8(m_output));
        if (match.hasMatch() || deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return match;
        m_process.waitForReadyRead(50);
    }
}

QByteArray TestProcess::readOutput()
{
    collectOutput();
    return m_output;
}

bool TestProcess::waitForTcpPort(quint16 port, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning)
            return false;
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    return false;
}

void TestProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    collectOutput();
}

} // namespace tramelo::test
