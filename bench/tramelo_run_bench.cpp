// A campaign sent end to end by the tramelo-run process, as an operator runs
// it from a terminal: a saved project (project file and journal on the disk
// under the build folder), recipients in an SQLite file, a 4 KB HTML body file
// with 3 merge placeholders, no grouping, WaitSeconds 0, to smtp-sink on
// loopback. In alternating rounds of the same run, over the same rows, fields,
// subject and body, three other mail merges send the same campaign:
//   (a) bench/python_mail_merge.py, one SMTP session per message;
//   (b) the same script with --one-session, one session for every message;
//   (c) bench/curl_mail_merge (C, libcurl), one connection kept open.
// Every process is timed from its start to its end; the sink must count
// every message. For tramelo-run it also reports the peak resident memory,
// the bytes it wrote to the disk per message (write_bytes of /proc/PID/io,
// read when the process has ended and before it is reaped) and its
// processor time per message.
//
//   tramelo_run_bench [recipients, 10000] [rounds, 3] [all | tramelo]

#include "bench_campaign_view.h"
#include "body_preparation.h"
#include "campaign.h"
#include "mail_bench_support.h"
#include "project_file.h"
#include "project_record.h"
#include "recipient_grid.h"
#include "recipient_source.h"
#include "send_journal.h"
#include "smtp_sink_server.h"
#include "test_databases.h"
#include "test_support.h"
#include "windows1252.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>

extern char **environ;

using namespace tramelo;
using namespace tramelo::bench;
using namespace std::chrono_literals;

namespace {

constexpr qsizetype bodyBytes = 4096;
constexpr double goalOfPythonSessions = 2.5;
constexpr double goalOfPythonOneSession = 1.5;
constexpr double goalOfCurl = 0.6;
constexpr double peakResidentGoalMiB = 48;

const QString table = QStringLiteral("Clients");
const QString addressField = QStringLiteral("Correu");
const QString senderAddress = QStringLiteral("sender@bench.tramelo.cat");
const QString senderName = QStringLiteral("Tramelo Bench");
const QString subjectTemplate = QStringLiteral("Butlletí de novembre per a <<<Nom>>>");

// 4096 bytes of HTML in Windows-1252 with three placeholders in its greeting.
QByteArray mergeBodyTemplate()
{
    const QByteArray head = "<html><body>\n";
    const QByteArray greeting = toWindows1252(QStringLiteral(
        "<p>Benvolgut/da <<<Nom>>> <<<Cognoms>>>, el vostre codi de client és <<<Codi>>>.</p>\n"));
    const QByteArray tail = "</body></html>\n";
    const QByteArray row = toWindows1252(QStringLiteral("<p>Benvolgut client, aquesta és una línia de prova del butlletí.</p>\n"));
    QByteArray rows;
    while (head.size() + greeting.size() + rows.size() + row.size() + tail.size() <= bodyBytes)
        rows += row;
    const qsizetype padding = bodyBytes - head.size() - greeting.size() - rows.size() - tail.size();
    return head + greeting + rows + QByteArray(padding, ' ') + tail;
}

bool writeDurably(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
        && file.flush() && ::fsync(file.handle()) == 0;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(u' ', 0, 2) : QString();
}

struct ProcessRun {
    bool ok = false;
    double seconds = 0;          // wall clock, start to end
    double processorSeconds = 0; // user and system
    double peakResidentMiB = 0;
    qint64 writeBytes = -1;      // from /proc/PID/io
    QString error;
};

qint64 writeBytesOf(pid_t pid)
{
    QFile io(QStringLiteral("/proc/%1/io").arg(pid));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("write_bytes:"))
            return line.mid(12).trimmed().toLongLong();
    }
    return -1;
}

// Runs a program with its output thrown away, sleeping in the event loop
// meanwhile (the sink's counters keep being read, as for every client) and
// waking when the process ends.
ProcessRun runProcess(const QString &program, const QStringList &arguments, std::chrono::seconds timeout = 3600s)
{
    ProcessRun run;
    std::vector<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        bytes.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const double start = wallSeconds();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.error = QStringLiteral("cannot start ") + program;
        return run;
    }
    const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        QEventLoop loop;
        QSocketNotifier ended(pidfd, QSocketNotifier::Read);
        QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        loop.exec();
        ::close(pidfd);
    }
    siginfo_t info{};
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT | WNOHANG) != 0 || info.si_pid != pid) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        run.error = program + QStringLiteral(" did not end in time");
        return run;
    }
    run.seconds = wallSeconds() - start;
    // Ended but not reaped: its /proc entry still holds its figures.
    run.writeBytes = writeBytesOf(pid);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.processorSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakResidentMiB = double(usage.ru_maxrss) / 1024.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!run.ok)
        run.error = QStringLiteral("%1 ended with status %2").arg(program).arg(status);
    return run;
}

// The sink's own counter must have moved by exactly the messages sent.
bool sinkCounted(test::SmtpSinkServer &sink, int expected, const QString &who, int round)
{
    sink.waitForMessageCount(expected, 30s);
    const int counted = sink.messageCount();
    if (counted == expected)
        return true;
    std::fprintf(stderr, "round %d (%s): the sink counted %d messages, expected %d\n", round, qPrintable(who), counted,
                 expected);
    return false;
}

// Whether the run left every recipient sent in its journal and in the
// project's marks.
bool runRecorded(const QString &project, int recipients)
{
    const JournalReading journal = readJournal(SendJournal::pathFor(project));
    QFile file(project);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    const ProjectReading reading = readProjectRecord(bytes);
    const QByteArray marks = bytes.mid(reading.length, recipients);
    const bool ok = journal.status == JournalReading::Status::Read && journal.sentAddresses.size() == recipients
        && reading.record.recipientRowCount == recipients && marks == QByteArray(recipients, 'S');
    if (!ok)
        std::fprintf(stderr, "tramelo-run: the journal records %lld sent, the project %lld marks \"S\" of %d\n",
                     static_cast<long long>(journal.sentAddresses.size()), static_cast<long long>(marks.count('S')),
                     recipients);
    return ok;
}

struct Peer {
    QString name;
    QString program;
    QStringList arguments;
};

} // namespace

int main(int argc, char **argv)
{
    PrivateSettingsFolder settingsFolder;
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int recipients = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const QString which = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("all");
    if (recipients < 1 || rounds < 1 || (which != QLatin1String("all") && which != QLatin1String("tramelo"))) {
        std::fprintf(stderr, "usage: tramelo_run_bench [recipients] [rounds] [all | tramelo]\n");
        return 2;
    }

    // On the build folder's disk, not in a memory file system.
    QTemporaryDir folder(QStringLiteral(TRAMELO_BENCH_WORK_DIR "/tramelo_run_bench-XXXXXX"));
    const QString databasePath = folder.filePath(QStringLiteral("destinataris.sqlite"));
    const QString bodyPath = folder.filePath(QStringLiteral("butlleti.html"));
    const QString projectPath = folder.filePath(QStringLiteral("campanya.pcm"));
    QString error;
    if (!folder.isValid() || !writeDurably(bodyPath, mergeBodyTemplate())
        || !test::addBulkRecipientTable(databasePath, table, recipients, error)) {
        std::fprintf(stderr, "cannot prepare the files: %s\n", qPrintable(error));
        return 1;
    }

    test::SmtpSinkServer sink;
    if (!sink.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sink.errorText()));
        return 1;
    }
    const quint16 port = sink.port();

    // The campaign as the operator prepares and saves it in the window.
    QByteArray pristineProject;
    {
        BenchView view;
        Campaign campaign(view);
        CampaignSettings &settings = campaign.settings();
        settings.applyStartDefaults();
        settings.setText(Setting::SenderAddress, senderAddress);
        settings.setText(Setting::SenderName, senderName);
        settings.setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(port));
        settings.setText(Setting::WaitSeconds, QStringLiteral("0"));
        settings.setCheckValue(Check::GroupSendings, 0);
        settings.setText(Setting::DatabaseSource, databasePath);
        OpenRecipientDatabase(campaign, true);
        settings.setText(Setting::TableName, table);
        LoadFieldList(campaign);
        settings.setText(Setting::AddressField, addressField);
        FillRecipientGrid(campaign);
        settings.setText(Setting::MessageSubject, subjectTemplate);
        settings.setBodyKind(BodyKind::File);
        settings.setText(Setting::BodySource, bodyPath);
        RefreshBodyPreview(campaign);
        if (!view.messages.isEmpty() || campaign.grid().dataRowCount() != recipients
            || settings.text(Setting::BodyText).size() != bodyBytes || !SaveProject(campaign, projectPath)) {
            std::fprintf(stderr, "the campaign could not be prepared: %s\n", qPrintable(view.messages.join(u' ')));
            return 1;
        }
        QFile saved(projectPath);
        if (!saved.open(QIODevice::ReadOnly))
            return 1;
        pristineProject = saved.readAll();
    }

    const QStringList mergeArguments = {databasePath, table, addressField, QStringLiteral("127.0.0.1"),
                                        QString::number(port), QStringLiteral("--subject"), subjectTemplate,
                                        QStringLiteral("--body"), bodyPath, QStringLiteral("--sender"),
                                        senderAddress, QStringLiteral("--sender-name"), senderName};
    const QString mergeScript = QStringLiteral(TRAMELO_BENCH_DIR "/python_mail_merge.py");
    const QString tramelo = QStringLiteral("tramelo-run");
    std::vector<Peer> peers{{tramelo, QStringLiteral(TRAMELO_RUN_PROGRAM), {projectPath}}};
    if (which == QLatin1String("all")) {
        peers.push_back({QStringLiteral("(a) Python, a session per message"), test::debianPython(),
                         QStringList{mergeScript} + mergeArguments});
        peers.push_back({QStringLiteral("(b) Python, one session"), test::debianPython(),
                         QStringList{mergeScript} + mergeArguments + QStringList{QStringLiteral("--one-session")}});
        peers.push_back({QStringLiteral("(c) libcurl, one connection"), QStringLiteral(CURL_MAIL_MERGE_PROGRAM),
                         mergeArguments});
    }

    std::printf("smtp-sink on 127.0.0.1:%u; %d recipients in SQLite, one message each (%lld-byte HTML body with 3\n"
                "merge fields); project and journal in %s; %d rounds; wall-clock time of each process;\n"
                "load average at the start: %s\n",
                unsigned(port), recipients, static_cast<long long>(bodyBytes), qPrintable(folder.path()), rounds,
                qPrintable(loadAverage()));

    int expected = 0;
    std::map<QString, std::vector<double>> rates;
    std::vector<double> runnerPeakMiB, runnerWritePerMessage, runnerProcessorPerMessage;
    for (int round = 1; round <= rounds; ++round) {
        for (const Peer &peer : peers) {
            const bool isTramelo = peer.name == tramelo;
            if (isTramelo) {
                // Every round starts from the saved campaign with no journal.
                QFile::remove(SendJournal::pathFor(projectPath));
                if (!writeDurably(projectPath, pristineProject)) {
                    std::fprintf(stderr, "cannot reset the project\n");
                    return 1;
                }
            }
            const ProcessRun run = runProcess(peer.program, peer.arguments);
            expected += recipients;
            if (!run.ok || !sinkCounted(sink, expected, peer.name, round)
                || (isTramelo && !runRecorded(projectPath, recipients))) {
                std::fprintf(stderr, "round %d: %s failed: %s\nmessages failed: no figures reported\n", round,
                             qPrintable(peer.name), qPrintable(run.error));
                return 1;
            }
            rates[peer.name].push_back(recipients / run.seconds);
            std::printf("round %d: %-34s %8.1f msg/s  (%.2f s, processor %.2f s, peak resident %.1f MiB",
                        round, qPrintable(peer.name), recipients / run.seconds, run.seconds, run.processorSeconds,
                        run.peakResidentMiB);
            if (isTramelo) {
                runnerPeakMiB.push_back(run.peakResidentMiB);
                runnerWritePerMessage.push_back(double(run.writeBytes) / recipients);
                runnerProcessorPerMessage.push_back(run.processorSeconds / recipients * 1e6);
                std::printf(", wrote %.0f bytes/message", double(run.writeBytes) / recipients);
            }
            std::printf(")\n");
        }
    }

    std::printf("load average at the end: %s\n", qPrintable(loadAverage()));
    const double ours = median(rates[tramelo]);
    std::printf("median  tramelo-run:                       %8.1f messages/s\n", ours);
    std::printf("        peak resident %.1f MiB (goal <= %.0f), %.0f bytes written to the disk per message, "
                "%.0f us of processor per message\n",
                median(runnerPeakMiB), peakResidentGoalMiB, median(runnerWritePerMessage),
                median(runnerProcessorPerMessage));
    const std::pair<int, double> goals[] = {{1, goalOfPythonSessions}, {2, goalOfPythonOneSession}, {3, goalOfCurl}};
    for (const auto &[index, goal] : goals) {
        if (std::size_t(index) >= peers.size())
            break;
        const double theirs = median(rates[peers[std::size_t(index)].name]);
        std::printf("median  %-34s %8.1f messages/s   tramelo-run / it: %.2f   goal >= %.1f: %s\n",
                    qPrintable(peers[std::size_t(index)].name + QLatin1Char(':')), theirs, ours / theirs, goal,
                    ours / theirs >= goal ? "met" : "NOT met");
    }
    return 0;
}
