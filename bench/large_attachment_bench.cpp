// One message with a 512 MiB attachment sent to smtp-sink on loopback: the
// peak resident memory of this process while it sends (goal: under 64 MiB)
// and the rate of file data sent (goal: at least 100 MB/s, wall clock).
// The file is written in 1 MiB pieces and closed before the baseline is
// taken, so its bytes are never counted as this process's memory.
//
//   large_attachment_bench [MiB, 512] [rounds, 3]

#include "clsEnviarCorreu.h"
#include "mail_bench_support.h"
#include "smtp_sink_server.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace tramelo;
using namespace tramelo::bench;
using namespace std::chrono_literals;

namespace {

constexpr double goalPeakMiB = 64.0;
constexpr double goalMegabytesPerSecond = 100.0;
constexpr qint64 pieceBytes = qint64(1) << 20;

// The share of a send spent in this process rather than in the sink.
double processorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

bool writeRandomFile(const QString &path, qint64 mebibytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray piece(pieceBytes, Qt::Uninitialized);
    QRandomGenerator generator(512);
    for (qint64 i = 0; i < mebibytes; ++i) {
        generator.fillRange(reinterpret_cast<quint32 *>(piece.data()), piece.size() / 4);
        if (file.write(piece) != piece.size())
            return false;
    }
    return true;
}

struct Round
{
    double seconds = 0;
    double busySeconds = 0; // processor time of this process during Send
    double baselineMiB = 0; // resident just before Send
    double peakMiB = 0;     // VmHWM after Send
    bool peakReset = false;
    bool succeeded = false;
    QString failure;
};

} // namespace

int main(int argc, char **argv)
{
    PrivateSettingsFolder settingsFolder;
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const qint64 mebibytes = argc > 1 ? std::atoll(argv[1]) : 512;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (mebibytes < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: large_attachment_bench [MiB] [rounds]\n");
        return 2;
    }

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("attachment.bin"));
    if (!folder.isValid() || !writeRandomFile(path, mebibytes)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const double fileMegabytes = double(mebibytes * pieceBytes) / 1e6;

    test::SmtpSinkServer sink;
    if (!sink.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sink.errorText()));
        return 1;
    }
    clsEnviarCorreu mail;
    aimAtLoopback(mail, sink.port());
    mail.setFrom(senderAddress);
    mail.setRecipient(QStringLiteral("recipient@bench.tramelo.cat"));
    mail.setSubject(QStringLiteral("Fitxer gran"));
    mail.setMessage(QStringLiteral("Adjunt un fitxer gran."));
    mail.setAttachment(path);
    OutcomeTally tally(mail);

    std::printf("smtp-sink on 127.0.0.1:%u; one message with a %lld MiB (%.1f MB) attachment of random bytes,\n"
                "%d rounds; wall-clock time; the machine is shared, so the medians count\n",
                unsigned(sink.port()), static_cast<long long>(mebibytes), fileMegabytes, rounds);

    std::vector<Round> results;
    for (int round = 1; round <= rounds; ++round) {
        Round r;
        r.peakReset = resetPeakResident();
        r.baselineMiB = statusMiB("VmRSS");
        const int successesBefore = tally.successes;
        const double processorStart = processorSeconds();
        const double start = wallSeconds();
        mail.Send();
        r.seconds = wallSeconds() - start;
        r.busySeconds = processorSeconds() - processorStart;
        r.peakMiB = statusMiB("VmHWM");
        r.succeeded = tally.successes == successesBefore + 1 && tally.failures == 0;
        sink.waitForMessageCount(round, 30s);
        const int counted = sink.messageCount();
        if (!r.succeeded || counted != round) {
            std::fprintf(stderr, "round %d failed: SendSuccesful %d, SendFailed %d (%s), sink counted %d of %d\n",
                         round, tally.successes - successesBefore, tally.failures, qPrintable(tally.firstFailure),
                         counted, round);
            return 1;
        }
        std::printf("round %d: %.2f s, %6.1f MB/s of file data (this process busy %.2f s); peak resident (VmHWM) "
                    "%.1f MiB, %.1f MiB over the %.1f MiB before Send%s\n",
                    round, r.seconds, fileMegabytes / r.seconds, r.busySeconds, r.peakMiB,
                    r.peakMiB - r.baselineMiB, r.baselineMiB,
                    r.peakReset ? "" : " (peak not reset: counts since the process started)");
        results.push_back(r);
    }

    std::vector<double> rates;
    double worstPeak = 0;
    double worstIncrease = 0;
    for (const Round &r : results) {
        rates.push_back(fileMegabytes / r.seconds);
        worstPeak = std::max(worstPeak, r.peakMiB);
        worstIncrease = std::max(worstIncrease, r.peakMiB - r.baselineMiB);
    }
    const double rate = median(rates);
    std::printf("median  file data rate: %.1f MB/s (%.1f MiB/s)   goal >= %.0f MB/s: %s\n", rate,
                rate * 1e6 / double(pieceBytes), goalMegabytesPerSecond,
                rate >= goalMegabytesPerSecond ? "met" : "NOT met");
    std::printf("highest peak resident memory (VmHWM): %.1f MiB (at most %.1f MiB over the baseline)   goal < %.0f MiB: %s\n",
                worstPeak, worstIncrease, goalPeakMiB, worstPeak < goalPeakMiB ? "met" : "NOT met");
    return 0;
}
