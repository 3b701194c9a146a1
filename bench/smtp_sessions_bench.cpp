// SMTP sessions (connect, greeting, HELO, QUIT) against smtp-sink on loopback:
// the mail component's Connect and Disconnect against Python's smtplib doing
// the same dialogue with the same sink, in alternating rounds of one run.
// Prints both rates (wall clock, medians of the rounds) and their ratio, and
// the rate of a minimal blocking client (POSIX sockets, no event loop) in the
// same rounds: the ceiling for clients that wait for each reply against this
// sink on this machine, and the yardstick of the goal.
//
//   smtp_sessions_bench [sessions per round, 1000] [rounds, 3]

#include "clsEnviarCorreu.h"
#include "mail_bench_support.h"
#include "smtp_sink_server.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

using namespace tramelo;
using namespace tramelo::bench;

namespace {

// Of the minimal blocking client's rate in the same run.
constexpr double goalOfMinimal = 0.9;
constexpr int warmUpSessions = 20;
// A QUIT left unanswered costs the component its 2-second wait for "221".
constexpr double unansweredQuitSeconds = 1.0;

struct OurRound
{
    double seconds = 0;
    double busySeconds = 0;
    int refused = 0;       // Connect returned false
    int slowQuits = 0;     // Disconnect waited as if "221" never came, or left the socket open
};

OurRound runOurSessions(clsEnviarCorreu &mail, int sessions)
{
    OurRound round;
    const double busyStart = threadSeconds();
    const double start = wallSeconds();
    for (int i = 0; i < sessions; ++i) {
        if (!mail.Connect())
            ++round.refused;
        const double quitStart = wallSeconds();
        mail.Disconnect();
        if (wallSeconds() - quitStart >= unansweredQuitSeconds || mail.socketState() != 0)
            ++round.slowQuits;
    }
    round.seconds = wallSeconds() - start;
    round.busySeconds = threadSeconds() - busyStart;
    return round;
}

// Reads until the reply's last line has ended; the sink's replies here are
// single lines.
bool readReply(int fd, const char *code)
{
    char reply[512];
    size_t size = 0;
    while (size < sizeof reply) {
        const ssize_t n = ::read(fd, reply + size, sizeof reply - size);
        if (n <= 0)
            return false;
        size += size_t(n);
        if (reply[size - 1] == '\n')
            return std::strncmp(reply, code, 3) == 0;
    }
    return false;
}

bool writeAll(int fd, const char *text)
{
    const size_t size = std::strlen(text);
    return ::write(fd, text, size) == ssize_t(size);
}

bool minimalSession(const sockaddr_in &address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && readReply(fd, "220") && writeAll(fd, "HELO bench.tramelo.cat\r\n") && readReply(fd, "250")
        && writeAll(fd, "QUIT\r\n") && readReply(fd, "221");
    ::close(fd);
    return ok;
}

// Runs on a thread of its own while the event loop waits, as it does for the
// Python client.
struct MinimalRound
{
    double seconds = 0;
    double busySeconds = 0;
    int failed = 0;
};

MinimalRound runMinimalSessions(quint16 port, int sessions)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    MinimalRound round;
    QEventLoop loop;
    std::thread client([&] {
        const double busyStart = threadSeconds();
        const double start = wallSeconds();
        for (int i = 0; i < sessions; ++i)
            round.failed += minimalSession(address) ? 0 : 1;
        round.seconds = wallSeconds() - start;
        round.busySeconds = threadSeconds() - busyStart;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    client.join();
    return round;
}

} // namespace

int main(int argc, char **argv)
{
    PrivateSettingsFolder settingsFolder;
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (sessions < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: smtp_sessions_bench [sessions] [rounds]\n");
        return 2;
    }

    // Nothing to read from the sink: our sessions run on the thread that
    // would read it, the other clients beside it.
    test::SmtpSinkServer::Options quietSink;
    quietSink.counters = false;
    test::SmtpSinkServer sink(quietSink);
    if (!sink.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sink.errorText()));
        return 1;
    }
    clsEnviarCorreu mail;
    aimAtLoopback(mail, sink.port());
    mail.setFrom(QStringLiteral("bench@bench.tramelo.cat"));
    OutcomeTally tally(mail);

    std::printf("smtp-sink on 127.0.0.1:%u; %d sessions (connect, greeting, HELO, QUIT) per round, %d rounds;\n"
                "wall-clock time; the machine is shared, so the medians count\n",
                unsigned(sink.port()), sessions, rounds);

    bool verified = runOurSessions(mail, warmUpSessions).refused == 0
        && runPythonBench(sink.port(), QStringLiteral("sessions"), warmUpSessions).ok;
    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<double> minimal;
    for (int round = 1; round <= rounds && verified; ++round) {
        const OurRound our = runOurSessions(mail, sessions);
        const PythonResult python = runPythonBench(sink.port(), QStringLiteral("sessions"), sessions);
        const MinimalRound floor = runMinimalSessions(sink.port(), sessions);
        if (floor.failed != 0) {
            std::fprintf(stderr, "round %d: %d sessions of the minimal client failed\n", round, floor.failed);
            verified = false;
        }
        if (our.refused != 0 || our.slowQuits != 0 || tally.failures != 0) {
            std::fprintf(stderr, "round %d: %d sessions not opened, %d QUIT without a quick \"221\", %d SendFailed (%s)\n",
                         round, our.refused, our.slowQuits, tally.failures, qPrintable(tally.firstFailure));
            verified = false;
        }
        if (!python.ok) {
            std::fprintf(stderr, "round %d: %s\n", round, qPrintable(python.error));
            verified = false;
        }
        if (!verified)
            break;
        ours.push_back(sessions / our.seconds);
        theirs.push_back(sessions / python.seconds);
        minimal.push_back(sessions / floor.seconds);
        std::printf("round %d: Tramelo %7.1f/s (%.3f s, busy %.0f us/session)   Python smtplib %7.1f/s (%.3f s; "
                    "process %.3f s)   minimal client %7.1f/s (busy %.0f us/session)   Tramelo / minimal %.2f\n",
                    round, ours.back(), our.seconds, 1e6 * our.busySeconds / sessions, theirs.back(), python.seconds,
                    python.wallSeconds, minimal.back(), 1e6 * floor.busySeconds / sessions,
                    ours.back() / minimal.back());
    }
    if (!verified) {
        std::fprintf(stderr, "sessions failed: no figures reported\n");
        return 1;
    }

    const double ourRate = median(ours);
    const double theirRate = median(theirs);
    const double minimalRate = median(minimal);
    const double ratio = ourRate / minimalRate;
    std::printf("median  Tramelo (clsEnviarCorreu Connect + Disconnect): %8.1f sessions/s\n", ourRate);
    std::printf("median  Python smtplib (SMTP + helo + quit):             %8.1f sessions/s\n", theirRate);
    std::printf("median  minimal blocking client (POSIX sockets):       %8.1f sessions/s\n", minimalRate);
    std::printf("ratio   Tramelo / minimal client: %.2f   goal >= %.1f: %s\n", ratio, goalOfMinimal,
                ratio >= goalOfMinimal ? "met" : "NOT met");
    std::printf("ratio   Tramelo / Python: %.2f; minimal client / Python: %.2f\n", ourRate / theirRate,
                minimalRate / theirRate);
    return 0;
}
