#include "test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>

#include <csignal>
#include <sys/prctl.h>

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

TestProcess::~TestProcess()
{
    stop();
}

bool TestProcess::start(const QString &program, const QStringList &arguments)
{
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
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
