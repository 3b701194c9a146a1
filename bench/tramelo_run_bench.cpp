// A campaign sent end to end by the tramelo-run process, as an operator runs
// it from a terminal: a saved project (project file and journal on the disk
// under the build folder), recipients in an SQLite file, a 4 KB HTML body file
// with 3 merge placeholders, WaitSeconds 0, to smtp-sink on loopback, which
// counts every message. Three modes:
//
//   tramelo_run_bench peers [recipients, 10000] [rounds, 3]
//     No grouping. In alternating rounds over the same rows, fields, subject
//     and body, three other mail merges send the same campaign:
//       (a) bench/python_mail_merge.py, one SMTP session per message;
//       (b) the same script with --one-session, one session for every message;
//       (c) bench/curl_mail_merge (C, libcurl), one connection kept open.
//   tramelo_run_bench scale [rounds, 3]
//     No grouping: 10,000 and 100,000 recipients in alternating rounds.
//   tramelo_run_bench kill [recipients, 2000]
//     Groups of 1, then of 10: the run is killed (SIGKILL) at 10 points spread
//     over it and started again after each, then run to its end. The sink
//     keeps every message: each recipient must have received the message, and
//     a second copy only from the group in flight at a kill.
//
// Every process is timed from its start to its end. For tramelo-run it also
// reports the peak resident memory (VmHWM, read while it runs), the bytes it
// wrote to the disk per message (write_bytes of /proc/PID/io, read when it has
// ended and before it is reaped) and its processor time per message; and, as
// the bound of a run that makes every group durable before the next message
// ends, how long one journal line's append and fdatasync take on that disk.

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
#include <functional>
#include <map>
#include <optional>

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

const QString subjectTemplate = QStringLiteral("Butlletí de novembre per a <<<Nom>>>");
// The body's three placeholders.
const QString mergeGreeting =
    QStringLiteral("<p>Benvolgut/da <<<Nom>>> <<<Cognoms>>>, el vostre codi de client és <<<Codi>>>.</p>\n");

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

// How long appending one journal-sized line and making it durable takes on
// the disk of the folder: the median of a few hundred.
double appendAndSyncMilliseconds(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/sync-probe"));
    const int descriptor = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (descriptor < 0)
        return -1;
    const QByteArray line(115, 'x');
    std::vector<double> each;
    for (int n = 0; n < 300; ++n) {
        const double start = wallSeconds();
        if (::write(descriptor, line.constData(), size_t(line.size())) != line.size() || ::fdatasync(descriptor) != 0)
            break;
        each.push_back((wallSeconds() - start) * 1000);
    }
    ::close(descriptor);
    ::unlink(path.constData());
    return each.empty() ? -1 : median(each);
}

void printSyncBound(const QString &folder, const char *when)
{
    const double ms = appendAndSyncMilliseconds(folder);
    std::printf("journal line append + fdatasync on this disk (%s): median %.3f ms, so at most %.0f groups/s\n", when,
                ms, ms > 0 ? 1000 / ms : 0.0);
}

struct ProcessRun {
    bool ok = false;
    double seconds = 0;          // wall clock, start to end
    double processorSeconds = 0; // user and system
    double peakResidentMiB = 0;  // VmHWM, last read while it ran
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

// Read while the process runs: the rusage of a spawned child counts the
// memory of the parent it was spawned from as well.
double peakResidentMiBOf(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// Runs a program with its output thrown away, the event loop turning
// meanwhile (the sink's counters keep being read, as for every client),
// until it ends, or until killNow() says so (looked at every 2 ms), when it
// is killed with SIGKILL.
ProcessRun runProcess(const QString &program, const QStringList &arguments,
                      const std::function<bool()> &killNow = {}, std::chrono::seconds timeout = 3600s)
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
    bool killed = false;
    const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        QEventLoop loop;
        QSocketNotifier ended(pidfd, QSocketNotifier::Read);
        QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &loop, [&] {
            run.peakResidentMiB = std::max(run.peakResidentMiB, peakResidentMiBOf(pid));
            if (!killed && killNow && killNow()) {
                ::kill(pid, SIGKILL);
                killed = true;
            }
        });
        look.start(2);
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
    run.ok = killed ? WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL : WIFEXITED(status) && WEXITSTATUS(status) == 0;
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

// A saved campaign of the bench, and its state before any run.
struct SavedCampaign {
    int recipients = 0;
    int groupSize = 1;
    QString databasePath;
    QString projectPath;
    QByteArray pristine;

    // Back to the saved campaign with no journal.
    bool reset() const
    {
        QFile::remove(SendJournal::pathFor(projectPath));
        return writeDurably(projectPath, pristine);
    }
};

// The campaign as the operator prepares and saves it in the window.
std::optional<SavedCampaign> saveCampaign(const QTemporaryDir &folder, const QString &bodyPath, quint16 port,
                                          int recipients, int groupSize)
{
    SavedCampaign saved{recipients, groupSize,
                        folder.filePath(QStringLiteral("destinataris-%1.sqlite").arg(recipients)),
                        folder.filePath(QStringLiteral("campanya-%1-%2.pcm").arg(recipients).arg(groupSize)),
                        {}};
    QString error;
    if (!QFile::exists(saved.databasePath) && !test::addBulkRecipientTable(saved.databasePath, recipientTable, recipients, error)) {
        std::fprintf(stderr, "cannot prepare the recipients: %s\n", qPrintable(error));
        return std::nullopt;
    }
    BenchView view;
    Campaign campaign(view);
    CampaignSettings &settings = campaign.settings();
    settings.applyStartDefaults();
    settings.setText(Setting::SenderAddress, senderAddress);
    settings.setText(Setting::SenderName, senderName);
    settings.setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(port));
    settings.setText(Setting::WaitSeconds, QStringLiteral("0"));
    settings.setCheckValue(Check::GroupSendings, groupSize > 1 ? 1 : 0);
    if (groupSize > 1)
        settings.setText(Setting::GroupSize, QString::number(groupSize));
    settings.setText(Setting::DatabaseSource, saved.databasePath);
    OpenRecipientDatabase(campaign, true);
    settings.setText(Setting::TableName, recipientTable);
    LoadFieldList(campaign);
    settings.setText(Setting::AddressField, addressField);
    FillRecipientGrid(campaign);
    settings.setText(Setting::MessageSubject, subjectTemplate);
    settings.setBodyKind(BodyKind::File);
    settings.setText(Setting::BodySource, bodyPath);
    RefreshBodyPreview(campaign);
    if (!view.messages.isEmpty() || campaign.grid().dataRowCount() != recipients
        || settings.text(Setting::BodyText).size() != bodyBytes || !SaveProject(campaign, saved.projectPath)) {
        std::fprintf(stderr, "the campaign could not be prepared: %s\n", qPrintable(view.messages.join(u' ')));
        return std::nullopt;
    }
    QFile file(saved.projectPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    saved.pristine = file.readAll();
    return saved;
}

struct Peer {
    QString name;
    QString program;
    QStringList arguments;
};

// What tramelo-run's rounds of one campaign gave.
struct RunnerFigures {
    std::vector<double> rates, peakMiB, writePerMessage, processorPerMessage;

    void add(const ProcessRun &run, int messages)
    {
        rates.push_back(messages / run.seconds);
        peakMiB.push_back(run.peakResidentMiB);
        writePerMessage.push_back(double(run.writeBytes) / messages);
        processorPerMessage.push_back(run.processorSeconds / messages * 1e6);
    }
    void print(const QString &name) const
    {
        std::printf("median  %-34s %8.1f messages/s, peak resident %.1f MiB (goal <= %.0f), %.0f bytes written to the "
                    "disk per message, %.0f us of processor per message\n",
                    qPrintable(name + QLatin1Char(':')), median(rates), median(peakMiB), peakResidentGoalMiB,
                    median(writePerMessage), median(processorPerMessage));
    }
};

// One round of tramelo-run on a campaign from its saved state, checked at
// the sink and in its journal and marks; its line printed.
std::optional<ProcessRun> runnerRound(const SavedCampaign &campaign, test::SmtpSinkServer &sink, int &expected, int round)
{
    if (!campaign.reset()) {
        std::fprintf(stderr, "cannot reset the project\n");
        return std::nullopt;
    }
    const ProcessRun run = runProcess(QStringLiteral(TRAMELO_RUN_PROGRAM), {campaign.projectPath});
    expected += campaign.recipients;
    const QString name = QStringLiteral("tramelo-run %1").arg(campaign.recipients);
    if (!run.ok || !sinkCounted(sink, expected, name, round) || !runRecorded(campaign.projectPath, campaign.recipients)) {
        std::fprintf(stderr, "round %d: %s failed: %s\nmessages failed: no figures reported\n", round, qPrintable(name),
                     qPrintable(run.error));
        return std::nullopt;
    }
    std::printf("round %d: %-34s %8.1f msg/s  (%.2f s, processor %.2f s, peak resident %.1f MiB, wrote %.0f "
                "bytes/message)\n",
                round, qPrintable(name), campaign.recipients / run.seconds, run.seconds, run.processorSeconds,
                run.peakResidentMiB, double(run.writeBytes) / campaign.recipients);
    return run;
}

int comparePeers(const QTemporaryDir &folder, const QString &bodyPath, int recipients, int rounds)
{
    test::SmtpSinkServer sink;
    if (!sink.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sink.errorText()));
        return 1;
    }
    const std::optional<SavedCampaign> campaign = saveCampaign(folder, bodyPath, sink.port(), recipients, 1);
    if (!campaign)
        return 1;
    const QStringList mergeArguments = {campaign->databasePath, recipientTable, addressField, QStringLiteral("127.0.0.1"),
                                        QString::number(sink.port()), QStringLiteral("--subject"), subjectTemplate,
                                        QStringLiteral("--body"), bodyPath, QStringLiteral("--sender"),
                                        senderAddress, QStringLiteral("--sender-name"), senderName};
    const QString mergeScript = QStringLiteral(TRAMELO_BENCH_DIR "/python_mail_merge.py");
    const std::vector<Peer> peers{
        {QStringLiteral("(a) Python, a session per message"), test::debianPython(), QStringList{mergeScript} + mergeArguments},
        {QStringLiteral("(b) Python, one session"), test::debianPython(),
         QStringList{mergeScript} + mergeArguments + QStringList{QStringLiteral("--one-session")}},
        {QStringLiteral("(c) libcurl, one connection"), QStringLiteral(CURL_MAIL_MERGE_PROGRAM), mergeArguments}};
    const std::pair<const Peer *, double> goals[] = {
        {&peers[0], goalOfPythonSessions}, {&peers[1], goalOfPythonOneSession}, {&peers[2], goalOfCurl}};

    std::printf("smtp-sink on 127.0.0.1:%u; %d recipients in SQLite, one message each (%lld-byte HTML body with 3\n"
                "merge fields); project and journal in %s; %d rounds; wall-clock time of each process;\n"
                "load average at the start: %s\n",
                unsigned(sink.port()), recipients, static_cast<long long>(bodyBytes), qPrintable(folder.path()),
                rounds, qPrintable(loadAverage()));
    printSyncBound(folder.path(), "before");

    int expected = 0;
    RunnerFigures ours;
    std::map<QString, std::vector<double>> rates;
    for (int round = 1; round <= rounds; ++round) {
        const std::optional<ProcessRun> run = runnerRound(*campaign, sink, expected, round);
        if (!run)
            return 1;
        ours.add(*run, recipients);
        for (const Peer &peer : peers) {
            const ProcessRun theirs = runProcess(peer.program, peer.arguments);
            expected += recipients;
            if (!theirs.ok || !sinkCounted(sink, expected, peer.name, round)) {
                std::fprintf(stderr, "round %d: %s failed: %s\nmessages failed: no figures reported\n", round,
                             qPrintable(peer.name), qPrintable(theirs.error));
                return 1;
            }
            rates[peer.name].push_back(recipients / theirs.seconds);
            std::printf("round %d: %-34s %8.1f msg/s  (%.2f s, processor %.2f s)\n", round, qPrintable(peer.name),
                        recipients / theirs.seconds, theirs.seconds, theirs.processorSeconds);
        }
    }

    std::printf("load average at the end: %s\n", qPrintable(loadAverage()));
    printSyncBound(folder.path(), "after");
    ours.print(QStringLiteral("tramelo-run"));
    for (const auto &[peer, goal] : goals) {
        const double theirs = median(rates[peer->name]);
        const double ratio = median(ours.rates) / theirs;
        std::printf("median  %-34s %8.1f messages/s   tramelo-run / it: %.2f   goal >= %.1f: %s\n",
                    qPrintable(peer->name + QLatin1Char(':')), theirs, ratio, goal, ratio >= goal ? "met" : "NOT met");
    }
    return 0;
}

int compareScales(const QTemporaryDir &folder, const QString &bodyPath, int rounds)
{
    test::SmtpSinkServer sink;
    if (!sink.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sink.errorText()));
        return 1;
    }
    const std::optional<SavedCampaign> small = saveCampaign(folder, bodyPath, sink.port(), 10000, 1);
    const std::optional<SavedCampaign> large = small ? saveCampaign(folder, bodyPath, sink.port(), 100000, 1) : std::nullopt;
    if (!large)
        return 1;
    std::printf("smtp-sink on 127.0.0.1:%u; tramelo-run on 10,000 and 100,000 recipients in alternating rounds, one\n"
                "message each; project and journal in %s; %d rounds; load average at the start: %s\n",
                unsigned(sink.port()), qPrintable(folder.path()), rounds, qPrintable(loadAverage()));
    printSyncBound(folder.path(), "before");
    int expected = 0;
    RunnerFigures figures[2];
    for (int round = 1; round <= rounds; ++round) {
        for (int which = 0; which < 2; ++which) {
            const SavedCampaign &campaign = which == 0 ? *small : *large;
            const std::optional<ProcessRun> run = runnerRound(campaign, sink, expected, round);
            if (!run)
                return 1;
            figures[which].add(*run, campaign.recipients);
        }
    }
    std::printf("load average at the end: %s\n", qPrintable(loadAverage()));
    printSyncBound(folder.path(), "after");
    figures[0].print(QStringLiteral("tramelo-run, 10,000"));
    figures[1].print(QStringLiteral("tramelo-run, 100,000"));
    const double ratio = median(figures[1].rates) / median(figures[0].rates);
    std::printf("rate at 100,000 / rate at 10,000: %.2f   goal >= 0.9: %s\n", ratio, ratio >= 0.9 ? "met" : "NOT met");
    std::printf("bytes written per message at 100,000 / at 10,000: %.2f\n",
                median(figures[1].writePerMessage) / median(figures[0].writePerMessage));
    return 0;
}

// Killed at 10 points of one campaign and started again after each, then run
// to its end; the sink's kept messages say who received what.
bool killAndResume(const QTemporaryDir &folder, const QString &bodyPath, int recipients, int groupSize)
{
    constexpr int kills = 10;
    test::SmtpSinkServer::Options keep;
    keep.keepMessages = true;
    test::SmtpSinkServer sink(keep);
    if (!sink.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sink.errorText()));
        return false;
    }
    const std::optional<SavedCampaign> campaign = saveCampaign(folder, bodyPath, sink.port(), recipients, groupSize);
    if (!campaign || !campaign->reset())
        return false;
    const int messages = (recipients + groupSize - 1) / groupSize;
    std::vector<int> acceptedAtKill; // the sink's count once each killed run had ended
    const double start = wallSeconds();
    for (int kill = 1; kill <= kills; ++kill) {
        const int point = kill * messages / (kills + 1);
        const ProcessRun run = runProcess(QStringLiteral(TRAMELO_RUN_PROGRAM), {campaign->projectPath},
                                          [&] { return sink.messageCount() >= point; }, 120s);
        if (!run.ok) {
            std::fprintf(stderr, "groups of %d, kill %d (after %d messages): %s\n", groupSize, kill, point,
                         qPrintable(run.error.isEmpty() ? QStringLiteral("the run ended before its kill") : run.error));
            return false;
        }
        // What the sink took by then; it needs a moment to see the
        // connection go.
        test::pumpEventsFor(20ms);
        acceptedAtKill.push_back(sink.messageCount());
    }
    const ProcessRun last = runProcess(QStringLiteral(TRAMELO_RUN_PROGRAM), {campaign->projectPath}, {}, 300s);
    test::pumpEventsFor(20ms);
    const double seconds = wallSeconds() - start;
    if (!last.ok) {
        std::fprintf(stderr, "groups of %d, the last run: %s\n", groupSize, qPrintable(last.error));
        return false;
    }

    // Deliveries per address, and the addresses of each group in flight (the
    // last message the sink took before each kill).
    const QList<test::SmtpSinkServer::Message> taken = sink.messages();
    std::map<QString, int> deliveries, inFlight;
    for (const test::SmtpSinkServer::Message &message : taken) {
        for (const QString &address : message.rcptArgs)
            ++deliveries[address];
    }
    for (const int accepted : acceptedAtKill) {
        if (accepted > 0 && accepted <= taken.size()) {
            for (const QString &address : taken[accepted - 1].rcptArgs)
                ++inFlight[address];
        }
    }
    int missing = 0, twice = 0, twiceOutsideInFlight = 0;
    for (int n = 1; n <= recipients; ++n) {
        const QString address = QStringLiteral("<client%1@example.com>").arg(n);
        const int count = deliveries.count(address) ? deliveries[address] : 0;
        missing += count == 0 ? 1 : 0;
        twice += std::max(0, count - 1);
        twiceOutsideInFlight += std::max(0, count - 1 - (inFlight.count(address) ? inFlight[address] : 0));
    }
    const bool recorded = runRecorded(campaign->projectPath, recipients);
    const bool ok = missing == 0 && twiceOutsideInFlight == 0 && int(deliveries.size()) == recipients && recorded;
    std::printf("groups of %2d: %d kills, %lld messages taken by the sink for %d recipients in %.1f s; recipients "
                "without the message: %d; second copies: %d (at most %d, the groups in flight), outside the groups in "
                "flight: %d; journal and marks all sent: %s: %s\n",
                groupSize, kills, static_cast<long long>(taken.size()), recipients, seconds, missing, twice,
                kills * groupSize, twiceOutsideInFlight, recorded ? "yes" : "no", ok ? "passed" : "FAILED");
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    PrivateSettingsFolder settingsFolder;
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("peers");
    const auto number = [&](int index, int otherwise) { return argc > index ? std::atoi(argv[index]) : otherwise; };
    const bool known = mode == QLatin1String("peers") || mode == QLatin1String("scale") || mode == QLatin1String("kill");
    if (!known || number(2, 1) < 1 || number(3, 1) < 1) {
        std::fprintf(stderr, "usage: tramelo_run_bench peers [recipients] [rounds] | scale [rounds] | kill [recipients]\n");
        return 2;
    }

    // On the build folder's disk, not in a memory file system.
    QTemporaryDir folder(QStringLiteral(TRAMELO_BENCH_WORK_DIR "/tramelo_run_bench-XXXXXX"));
    const QString bodyPath = folder.filePath(QStringLiteral("butlleti.html"));
    if (!folder.isValid() || !writeDurably(bodyPath, benchmarkHtmlBody(mergeGreeting))) {
        std::fprintf(stderr, "cannot prepare the files in %s\n", TRAMELO_BENCH_WORK_DIR);
        return 1;
    }
    if (mode == QLatin1String("peers"))
        return comparePeers(folder, bodyPath, number(2, 10000), number(3, 3));
    if (mode == QLatin1String("scale"))
        return compareScales(folder, bodyPath, number(2, 3));
    const int recipients = number(2, 2000);
    std::printf("tramelo-run killed (SIGKILL) at 10 points of a %d-recipient campaign and started again, then run to "
                "its end; smtp-sink on loopback keeping every message; project and journal in %s\n",
                recipients, qPrintable(folder.path()));
    const bool groupsOfOne = killAndResume(folder, bodyPath, recipients, 1);
    const bool groupsOfTen = killAndResume(folder, bodyPath, recipients, 10);
    return groupsOfOne && groupsOfTen ? 0 : 1;
}
