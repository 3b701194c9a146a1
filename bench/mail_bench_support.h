#pragma once

// What the mail component's benchmarks share: the component aimed at a sink on
// loopback, a tally of its outcome events, the Python smtplib client run in
// step with ours, wall-clock timing, medians and the process's memory figures.

#include "clsEnviarCorreu.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <vector>

namespace tramelo::bench {

// The campaign every benchmark sends: its recipients' table and address
// field, and the sender our client and its peers announce alike.
inline const QString recipientTable = QStringLiteral("Clients");
inline const QString addressField = QStringLiteral("Correu");
inline const QString senderAddress = QStringLiteral("sender@bench.tramelo.cat");
inline const QString senderName = QStringLiteral("Tramelo Bench");

// Literal address only: the machine's name server is not on loopback.
void aimAtLoopback(clsEnviarCorreu &mail, quint16 port);

// Stored settings of the user running the benchmark must not change the
// component: points the per-user settings store at a folder of its own.
// Call before the QCoreApplication is made.
class PrivateSettingsFolder
{
public:
    PrivateSettingsFolder();

private:
    QTemporaryDir m_folder;
};

// Counts SendSuccesful and SendFailed, and keeps the first failure's text;
// stops counting when it goes.
class OutcomeTally
{
public:
    explicit OutcomeTally(clsEnviarCorreu &mail);
    int successes = 0;
    int failures = 0;
    QString firstFailure;

private:
    QObject m_receiver;
};

// The 4096-byte HTML body of the benchmarks, in Windows-1252 with a few
// accented letters (the Python clients are given the same bytes): the
// greeting given (a mail merge's placeholders), then lines of text and
// blanks up to the size.
QByteArray benchmarkHtmlBody(const QString &greeting = {});

struct BareRound
{
    double seconds = 0;
    int successes = 0;
    int failures = 0;
    QString firstFailure;
};

// The bare component's rate as the message benchmarks measure it: one
// recipient per message, recipient, subject and body assigned, then Send,
// one session each (or, with oneSession, all on one kept session, which the
// component renews every maxMessagesPerSession messages), on a component
// already aimed at the sink.
BareRound runBareComponentMessages(clsEnviarCorreu &mail, const QString &body, int messages, bool oneSession = false);

struct PythonResult
{
    bool ok = false;
    double seconds = 0;      // as timed by the script around its loop
    double cpuSeconds = 0;   // the script's processor time in its loop
    double wallSeconds = 0;  // the whole process, interpreter start included
    QString error;
};

// Runs tests/support/python_smtp_bench.py with Debian's interpreter. The
// event loop keeps running meanwhile, as it does while our component sends,
// so the sink's counter output is drained the same way for both clients.
PythonResult runPythonBench(quint16 port, const QString &mode, int count, const QString &bodyFile = {},
                            std::chrono::seconds timeout = std::chrono::seconds(600));

// Runs a Python script with Debian's interpreter while the event loop keeps
// running; the script prints a JSON object whose "count" must equal count
// and whose "seconds" times its own loop.
PythonResult runPythonScript(const QString &script, const QStringList &arguments, int count,
                             std::chrono::seconds timeout = std::chrono::seconds(600));
// The same for any program that reports so (the libcurl mail merge).
PythonResult runReportingProgram(const QString &program, const QStringList &arguments, int count,
                                 std::chrono::seconds timeout = std::chrono::seconds(600));

double wallSeconds();
// Processor time of the calling thread: how much of a session's wall-clock
// time the client itself spends, the rest being the server and the kernel's
// loopback traffic on its behalf.
double threadSeconds();
// Processor time a process has used so far (user and system), from /proc;
// -1 when it cannot be read.
double processSeconds(qint64 processId);
double median(std::vector<double> values);

// A line of /proc/self/status in MiB: VmHWM (peak resident) or VmRSS (now).
double statusMiB(const char *key);
// Resets VmHWM to the current resident size; false where the kernel refuses.
bool resetPeakResident();

} // namespace tramelo::bench
