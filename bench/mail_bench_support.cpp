#include "mail_bench_support.h"

#include "test_support.h"
#include "windows1252.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <ctime>

#include <unistd.h>

namespace tramelo::bench {

void aimAtLoopback(clsEnviarCorreu &mail, quint16 port)
{
    mail.setSMTPHostValidation(0);
    mail.setSMTPHost(QStringLiteral("127.0.0.1"));
    mail.setSMTPPort(port);
    // Bounded: a sink that stops answering ends the run in seconds.
    mail.setConnectTimeout(5);
    mail.setMessageTimeout(5);
    mail.setConnectRetry(1);
}

PrivateSettingsFolder::PrivateSettingsFolder()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_folder.path()));
}

OutcomeTally::OutcomeTally(clsEnviarCorreu &mail)
{
    QObject::connect(&mail, &clsEnviarCorreu::SendSuccesful, &m_receiver, [this] { ++successes; });
    QObject::connect(&mail, &clsEnviarCorreu::SendFailed, &m_receiver, [this](const QString &explanation) {
        if (failures++ == 0)
            firstFailure = explanation.trimmed();
    });
}

QByteArray benchmarkHtmlBody(const QString &greeting)
{
    constexpr qsizetype bodyBytes = 4096;
    const QByteArray head = "<html><body>\n" + toWindows1252(greeting);
    const QByteArray tail = "</body></html>\n";
    const QByteArray row = toWindows1252(QStringLiteral("<p>Benvolgut client, aquesta és una línia de prova del butlletí.</p>\n"));
    QByteArray rows;
    while (head.size() + rows.size() + row.size() + tail.size() <= bodyBytes)
        rows += row;
    return head + rows + QByteArray(bodyBytes - head.size() - rows.size() - tail.size(), ' ') + tail;
}

BareRound runBareComponentMessages(clsEnviarCorreu &mail, const QString &body, int messages, bool oneSession)
{
    OutcomeTally tally(mail);
    const double start = wallSeconds();
    mail.setKeepConnection(oneSession);
    for (int i = 0; i < messages; ++i) {
        mail.setRecipient(QStringLiteral("recipient%1@bench.tramelo.cat").arg(i));
        mail.setSubject(QStringLiteral("Butlletí número %1").arg(i));
        mail.setMessage(body);
        mail.Send();
    }
    mail.Disconnect();
    BareRound round;
    round.seconds = wallSeconds() - start;
    round.successes = tally.successes;
    round.failures = tally.failures;
    round.firstFailure = tally.firstFailure;
    return round;
}

PythonResult runPythonScript(const QString &script, const QStringList &arguments, int count,
                             std::chrono::seconds timeout)
{
    return runReportingProgram(test::debianPython(), QStringList{script} + arguments, count, timeout);
}

PythonResult runReportingProgram(const QString &program, const QStringList &arguments, int count,
                                 std::chrono::seconds timeout)
{
    PythonResult result;
    QProcess peer;
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QObject::connect(&peer, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&peer, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    peer.start(program, arguments);
    // Sleeps until something happens: a busy wait would take a processor
    // from the client being measured.
    loop.exec();
    result.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    if (peer.state() != QProcess::NotRunning) {
        peer.kill();
        peer.waitForFinished(5000);
        result.error = program + QStringLiteral(" did not finish in time");
        return result;
    }
    const QByteArray output = peer.readAllStandardOutput();
    if (peer.exitStatus() != QProcess::NormalExit || peer.exitCode() != 0) {
        result.error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(peer.readAllStandardError());
        return result;
    }
    const QJsonObject report = QJsonDocument::fromJson(output).object();
    result.seconds = report.value(QStringLiteral("seconds")).toDouble();
    result.cpuSeconds = report.value(QStringLiteral("cpu_seconds")).toDouble();
    result.ok = report.value(QStringLiteral("count")).toInt() == count && result.seconds > 0;
    if (!result.ok)
        result.error = QStringLiteral("unexpected report from ") + program + QStringLiteral(": ") + QString::fromLocal8Bit(output);
    return result;
}

PythonResult runPythonBench(quint16 port, const QString &mode, int count, const QString &bodyFile,
                            std::chrono::seconds timeout)
{
    QStringList arguments = {QStringLiteral("127.0.0.1"), QString::number(port), mode, QString::number(count)};
    if (!bodyFile.isEmpty())
        arguments << QStringLiteral("--body") << bodyFile;
    return runPythonScript(test::supportFile(QStringLiteral("python_smtp_bench.py")), arguments, count, timeout);
}

double wallSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double processSeconds(qint64 processId)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(processId));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The fields after the command's closing parenthesis, from the third on:
    // user time is the 14th field, system time the 15th, in clock ticks.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double statusMiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

bool resetPeakResident()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace tramelo::bench
