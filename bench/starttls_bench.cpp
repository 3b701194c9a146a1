// Messages over STARTTLS, one session per message (connect, EHLO, STARTTLS,
// the handshake, EHLO, MAIL FROM, one RCPT TO, DATA, QUIT), a 4 KB HTML body,
// against aiosmtpd on loopback presenting a certificate of a test authority
// made for the run. The mail component (Security StartTls, the authority as
// its trusted certificates file, so every server certificate is verified)
// beside Python's smtplib with starttls() (one verifying context for the whole
// loop), in alternating rounds of one run. Prints both rates (wall clock,
// medians of the rounds), their ratio, and what bounds them: the processor
// time per message of each client and of the server during its rounds, and
// how many of each client's sessions the server resumed.
//
//   starttls_bench [messages per round, 500] [rounds, 5]

#include "aiosmtpd_server.h"
#include "clsEnviarCorreu.h"
#include "mail_bench_support.h"
#include "test_certificates.h"
#include "test_support.h"
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

constexpr double goalRatio = 1.5;
constexpr int warmUpMessages = 20;

struct Round
{
    double seconds = 0;
    double clientSeconds = 0; // the client's processor time
    double serverSeconds = 0; // the server's processor time meanwhile
};

bool serverReceived(const test::AiosmtpdServer &server, int expected, const char *who, int round)
{
    server.waitForMessages(expected, 10s);
    const int counted = server.messageCount();
    if (counted == expected)
        return true;
    std::fprintf(stderr, "round %d (%s): the server saved %d messages, expected %d\n", round, who, counted, expected);
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    PrivateSettingsFolder settingsFolder;
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 500;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (messages < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: starttls_bench [messages] [rounds]\n");
        return 2;
    }

    const test::TestCertificates &certificates = test::TestCertificates::shared();
    if (!certificates.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(certificates.errorText()));
        return 1;
    }
    QTemporaryDir folder;
    const QString bodyPath = folder.filePath(QStringLiteral("body.html"));
    const QByteArray bodyBytes = benchmarkHtmlBody();
    QFile bodyFile(bodyPath);
    if (!folder.isValid() || !bodyFile.open(QIODevice::WriteOnly) || bodyFile.write(bodyBytes) != bodyBytes.size()) {
        std::fprintf(stderr, "cannot write the body file\n");
        return 1;
    }
    bodyFile.close();
    const QString body = fromWindows1252(bodyBytes);

    test::AiosmtpdServer::Options options;
    options.tls = test::AiosmtpdServer::Options::Tls::StartTls;
    options.certificateFile = certificates.good().certificateFile;
    options.keyFile = certificates.good().keyFile;
    options.logCommands = false;
    test::AiosmtpdServer server(options);
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorText()));
        return 1;
    }
    const qint64 serverProcess = server.processId();

    clsEnviarCorreu mail;
    aimAtLoopback(mail, server.port());
    mail.setFrom(senderAddress);
    mail.setFromDisplayName(senderName);
    mail.setAsHTML(true);
    mail.setSecurity(SecurityMode::StartTls);
    mail.setTrustedCertificatesFile(certificates.authorityFile());

    const QStringList pythonArguments = {QStringLiteral("127.0.0.1"), QString::number(server.port()),
                                         QStringLiteral("starttls-messages"), QString::number(messages),
                                         QStringLiteral("--cafile"), certificates.authorityFile(),
                                         QStringLiteral("--body"), bodyPath};
    const QString pythonScript = test::supportFile(QStringLiteral("python_smtp_bench.py"));
    const auto runOurs = [&](int count) {
        Round round;
        const double serverStart = processSeconds(serverProcess);
        const double clientStart = threadSeconds();
        const BareRound bare = runBareComponentMessages(mail, body, count);
        round.clientSeconds = threadSeconds() - clientStart;
        round.serverSeconds = processSeconds(serverProcess) - serverStart;
        round.seconds = bare.seconds;
        if (bare.successes != count || bare.failures != 0) {
            std::fprintf(stderr, "%d SendSuccesful and %d SendFailed for %d messages (%s)\n", bare.successes,
                         bare.failures, count, qPrintable(bare.firstFailure));
            round.seconds = -1;
        }
        return round;
    };
    const auto runPython = [&](int count) {
        Round round;
        QStringList arguments = pythonArguments;
        arguments[3] = QString::number(count);
        const double serverStart = processSeconds(serverProcess);
        const PythonResult python = runPythonScript(pythonScript, arguments, count);
        round.serverSeconds = processSeconds(serverProcess) - serverStart;
        round.clientSeconds = python.cpuSeconds;
        round.seconds = python.ok ? python.seconds : -1;
        if (!python.ok)
            std::fprintf(stderr, "%s\n", qPrintable(python.error));
        return round;
    };

    std::printf("aiosmtpd with STARTTLS on 127.0.0.1:%u, RSA 2048 certificate of a test authority; %d messages per round\n"
                "(one recipient, %lld-byte HTML body, one session each), %d rounds; wall-clock time; the machine is\n"
                "shared, so the medians count\n",
                unsigned(server.port()), messages, static_cast<long long>(bodyBytes.size()), rounds);

    int expected = 2 * warmUpMessages;
    bool verified = runOurs(warmUpMessages).seconds > 0 && runPython(warmUpMessages).seconds > 0
        && serverReceived(server, expected, "warm-up", 0);

    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<double> ourClient, theirClient, ourServer, theirServer;
    for (int round = 1; round <= rounds && verified; ++round) {
        const Round our = runOurs(messages);
        expected += messages;
        verified = our.seconds > 0 && serverReceived(server, expected, "Tramelo", round);
        const Round python = runPython(messages);
        expected += messages;
        verified = verified && python.seconds > 0 && serverReceived(server, expected, "Python", round);
        if (!verified)
            break;
        ours.push_back(messages / our.seconds);
        theirs.push_back(messages / python.seconds);
        ourClient.push_back(1e3 * our.clientSeconds / messages);
        theirClient.push_back(1e3 * python.clientSeconds / messages);
        ourServer.push_back(1e3 * our.serverSeconds / messages);
        theirServer.push_back(1e3 * python.serverSeconds / messages);
        std::printf("round %d: Tramelo %6.1f messages/s (%.3f s; client %.2f ms, server %.2f ms per message)   "
                    "Python smtplib %6.1f messages/s (%.3f s; client %.2f ms, server %.2f ms)   ratio %.2f\n",
                    round, ours.back(), our.seconds, ourClient.back(), ourServer.back(), theirs.back(), python.seconds,
                    theirClient.back(), theirServer.back(), ours.back() / theirs.back());
    }
    if (!verified) {
        std::fprintf(stderr, "messages failed: no figures reported\n");
        return 1;
    }

    int ourResumed = 0;
    int ourSessions = 0;
    int theirResumed = 0;
    int theirSessions = 0;
    for (const test::AiosmtpdServer::Message &message : server.messages()) {
        const bool fromUs = message.mailFrom == senderAddress;
        (fromUs ? ourSessions : theirSessions) += 1;
        (fromUs ? ourResumed : theirResumed) += message.resumed ? 1 : 0;
    }

    const double ourRate = median(ours);
    const double theirRate = median(theirs);
    const double ratio = ourRate / theirRate;
    std::printf("median  Tramelo (clsEnviarCorreu Send, STARTTLS):      %7.1f messages/s   client %.2f ms, server %.2f ms "
                "per message; %d of %d sessions resumed\n",
                ourRate, median(ourClient), median(ourServer), ourResumed, ourSessions);
    std::printf("median  Python smtplib + email, starttls():         %7.1f messages/s   client %.2f ms, server %.2f ms "
                "per message; %d of %d sessions resumed\n",
                theirRate, median(theirClient), median(theirServer), theirResumed, theirSessions);
    std::printf("ratio   Tramelo / Python: %.2f   goal >= %.1f: %s\n", ratio, goalRatio,
                ratio >= goalRatio ? "met" : "NOT met");
    // A client that waits for every reply cannot finish a session faster
    // than the server works on it.
    std::printf("ceiling for any client against this server: %.1f messages/s (the server's processor time alone, "
                "in Tramelo's rounds)\n",
                1e3 / median(ourServer));
    return 0;
}
