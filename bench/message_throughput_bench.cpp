// Messages as a campaign sends them, one recipient each, a 4 KB HTML body,
// one session per message (a new Send each time; the component closes the
// session after it), against smtp-sink on loopback; Python's smtplib and
// email package send the same messages to the same sink, in alternating
// rounds of one run. Prints both rates (wall clock, medians of the rounds),
// their ratio, and the bare component's rate on a line of its own. The same
// rounds also send the messages through one kept session (the component's
// KeepConnection, a new session every 100 messages) beside Python sending
// them all in one session, and print those rates too.
//
//   message_throughput_bench [messages per round, 2000] [rounds, 3]

#include "clsEnviarCorreu.h"
#include "mail_bench_support.h"
#include "smtp_sink_server.h"
#include "windows1252.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace tramelo;
using namespace tramelo::bench;
using namespace std::chrono_literals;

namespace {

constexpr double goalRatio = 2.0;
constexpr int warmUpMessages = 20;
constexpr qsizetype bodyBytes = 4096;

// The sink's own counter must have moved by exactly the messages sent.
bool sinkReceived(test::SmtpSinkServer &sink, int expected, const char *who, int round)
{
    sink.waitForMessageCount(expected, 10s);
    const int counted = sink.messageCount();
    if (counted == expected)
        return true;
    std::fprintf(stderr, "round %d (%s): the sink counted %d messages, expected %d\n", round, who, counted, expected);
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    PrivateSettingsFolder settingsFolder;
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (messages < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: message_throughput_bench [messages] [rounds]\n");
        return 2;
    }

    QTemporaryDir folder;
    const QString bodyPath = folder.filePath(QStringLiteral("body.html"));
    const QByteArray bodyBytesCp1252 = benchmarkHtmlBody();
    QFile bodyFile(bodyPath);
    if (!folder.isValid() || !bodyFile.open(QIODevice::WriteOnly) || bodyFile.write(bodyBytesCp1252) != bodyBytes) {
        std::fprintf(stderr, "cannot write the body file\n");
        return 1;
    }
    bodyFile.close();
    const QString body = fromWindows1252(bodyBytesCp1252);

    test::SmtpSinkServer sink;
    if (!sink.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sink.errorText()));
        return 1;
    }
    clsEnviarCorreu mail;
    aimAtLoopback(mail, sink.port());
    mail.setFrom(senderAddress);
    mail.setFromDisplayName(senderName);
    mail.setAsHTML(true);

    std::printf("smtp-sink on 127.0.0.1:%u; %d messages per round and side (one recipient, %lld-byte HTML body,\n"
                "one session each, then all on one session), %d rounds; wall-clock time; the machine is shared,\n"
                "so the medians count\n",
                unsigned(sink.port()), messages, static_cast<long long>(bodyBytes), rounds);

    int expected = 0;
    const BareRound warmUp = runBareComponentMessages(mail, body, warmUpMessages);
    const PythonResult pythonWarmUp = runPythonBench(sink.port(), QStringLiteral("messages"), warmUpMessages, bodyPath);
    expected += 2 * warmUpMessages;
    bool verified = warmUp.successes == warmUpMessages && warmUp.failures == 0 && pythonWarmUp.ok
        && sinkReceived(sink, expected, "warm-up", 0);
    if (!verified)
        std::fprintf(stderr, "warm-up failed: %s %s\n", qPrintable(warmUp.firstFailure), qPrintable(pythonWarmUp.error));

    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<double> oursKept;
    std::vector<double> theirsKept;
    const auto sendOurs = [&](bool oneSession, int round) {
        const BareRound our = runBareComponentMessages(mail, body, messages, oneSession);
        expected += messages;
        bool ok = our.successes == messages && our.failures == 0;
        if (!ok)
            std::fprintf(stderr, "round %d: %d SendSuccesful and %d SendFailed for %d messages (%s)\n", round,
                         our.successes, our.failures, messages, qPrintable(our.firstFailure));
        ok = sinkReceived(sink, expected, oneSession ? "Tramelo, one session" : "Tramelo", round) && ok;
        return ok ? our.seconds : -1.0;
    };
    const auto sendTheirs = [&](const char *mode, int round) {
        const PythonResult python = runPythonBench(sink.port(), QLatin1String(mode), messages, bodyPath);
        expected += messages;
        if (!python.ok)
            std::fprintf(stderr, "round %d: %s\n", round, qPrintable(python.error));
        const bool ok = sinkReceived(sink, expected, mode, round) && python.ok;
        return ok ? python.seconds : -1.0;
    };
    for (int round = 1; round <= rounds && verified; ++round) {
        const double our = sendOurs(false, round);
        const double their = sendTheirs("messages", round);
        const double ourKept = sendOurs(true, round);
        const double theirKept = sendTheirs("one-session-messages", round);
        verified = our > 0 && their > 0 && ourKept > 0 && theirKept > 0;
        if (!verified)
            break;
        ours.push_back(messages / our);
        theirs.push_back(messages / their);
        oursKept.push_back(messages / ourKept);
        theirsKept.push_back(messages / theirKept);
        std::printf("round %d: session each: Tramelo %7.1f/s  Python %7.1f/s  ratio %.2f   one session: Tramelo "
                    "%7.1f/s  Python %7.1f/s  ratio %.2f\n",
                    round, ours.back(), theirs.back(), ours.back() / theirs.back(), oursKept.back(), theirsKept.back(),
                    oursKept.back() / theirsKept.back());
    }
    if (!verified) {
        std::fprintf(stderr, "messages failed: no figures reported\n");
        return 1;
    }

    const double ourRate = median(ours);
    const double theirRate = median(theirs);
    const double ratio = ourRate / theirRate;
    std::printf("median  Tramelo (clsEnviarCorreu Send):  %8.1f messages/s\n", ourRate);
    std::printf("median  Python smtplib + email:          %8.1f messages/s\n", theirRate);
    std::printf("ratio   Tramelo / Python: %.2f   goal >= %.1f: %s\n", ratio, goalRatio,
                ratio >= goalRatio ? "met" : "NOT met");
    std::printf("bare component's rate: %.1f messages/s\n", ourRate);
    std::printf("median  one session, Tramelo (KeepConnection):  %8.1f messages/s\n", median(oursKept));
    std::printf("median  one session, Python smtplib + email:    %8.1f messages/s\n", median(theirsKept));
    std::printf("ratio   one session, Tramelo / Python: %.2f\n", median(oursKept) / median(theirsKept));
    return 0;
}
