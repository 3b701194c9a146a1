// A whole campaign as an operator runs it, headless: recipients in an SQLite
// file read by the SQLite library, the campaign prepared through the
// operator's own operations, no grouping, no pause, a 4 KB HTML body file and
// a subject with merge placeholders, sent by the run driver to smtp-sink on
// loopback, with the campaign's send journal written (and made durable) as
// in every definitive run. In alternating rounds of the same run it also measures the bare
// mail component (the message benchmark's loop) and a plain Python mail merge
// (bench/python_mail_merge.py: sqlite3, email, smtplib) over the same rows,
// fields, subject and body. Prints the three rates (wall clock, medians of
// the rounds) and the campaign's ratios to the other two.
//
//   campaign_bench [recipients, 2000] [rounds, 5]

#include "bench_campaign_view.h"
#include "body_preparation.h"
#include "campaign.h"
#include "campaign_identity.h"
#include "clsEnviarCorreu.h"
#include "internet_connection.h"
#include "mail_bench_support.h"
#include "recipient_grid.h"
#include "recipient_source.h"
#include "run_driver.h"
#include "send_journal.h"
#include "smtp_sink_server.h"
#include "test_databases.h"
#include "windows1252.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace tramelo;
using namespace tramelo::bench;
using namespace std::chrono_literals;

namespace {

constexpr double goalOfBare = 0.8;
constexpr double goalOfPython = 2.0;
constexpr int warmUpMessages = 20;
constexpr qsizetype bodyBytes = 4096;

const QString subjectTemplate = QStringLiteral("Butlletí de <<<Ciutat>>> per a <<<Nom>>>");
const QString finishedMessage = QStringLiteral("Enviament finalitzat");
// Placeholders of every field; null Notes leave theirs.
const QString mergeGreeting = QStringLiteral(
        "<p>Benvolgut/da <<<Nom>>> <<<Cognoms>>>,</p>\n"
        "<p>Us escrivim des de <<<Ciutat>>>: el vostre codi de client és <<<Codi>>>, "
        "d'alta des del <<<Alta>>>, telèfon <<<Telefon>>>. <<<Notes>>>.</p>\n");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

double processorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The sink's own counter must have moved by exactly the messages sent.
bool sinkCounted(test::SmtpSinkServer &sink, int expected, const char *who, int round)
{
    sink.waitForMessageCount(expected, 10s);
    const int counted = sink.messageCount();
    if (counted == expected)
        return true;
    std::fprintf(stderr, "round %d (%s): the sink counted %d messages, expected %d\n", round, who, counted, expected);
    return false;
}

struct CampaignRound
{
    bool ok = false;
    double seconds = 0;
    double processorSeconds = 0;
};

// One definitive run over every recipient; then every row must be marked
// "Si", the progress display must say so, the run must have ended with
// "Enviament finalitzat" and its counts alone, and the journal must record
// every recipient as sent since the marks were cleared.
CampaignRound runCampaign(Campaign &campaign, CampaignRun &run, BenchView &view, int recipients)
{
    ClearSentMarks(campaign);
    view.messages.clear();
    RunCounts finished;
    const QMetaObject::Connection finishedConnection =
        QObject::connect(&run, &CampaignRun::runFinished, [&finished](const RunCounts &counts) { finished = counts; });

    CampaignRound round;
    const double processorStart = processorSeconds();
    const double start = wallSeconds();
    run.run({BuildAttachmentList(campaign), readCampaignJournal(campaign)});
    round.seconds = wallSeconds() - start;
    round.processorSeconds = processorSeconds() - processorStart;
    QObject::disconnect(finishedConnection);

    const RecipientGrid &grid = campaign.grid();
    int marked = 0;
    for (int row = 1; row <= grid.dataRowCount(); ++row)
        marked += grid.markText(row) == QLatin1String("Si");
    const QString endOfRun = finishedMessage
        + QStringLiteral("\nRegistres processats %1 de %1: %1 enviats, 0 no enviats").arg(recipients);
    const JournalReading journal = readJournal(SendJournal::pathFor(campaign.projectPath()));
    round.ok = view.messages == QStringList{endOfRun} && finished.sent == recipients
        && journal.status == JournalReading::Status::Read && journal.sentAddresses.size() == recipients
        && finished.processed == recipients && grid.dataRowCount() == recipients && marked == recipients
        && grid.sentMarks().left(recipients) == QByteArray(recipients, 'S')
        && view.counts == QStringLiteral("%1/%1/%1").arg(recipients) && view.totalValue == recipients
        && view.totalMaximum == recipients && view.messageProgress == 100;
    if (!round.ok)
        std::fprintf(stderr, "campaign: %lld of %d rows sent, %d marked \"Si\", counts %s; shown: %s\n",
                     static_cast<long long>(finished.sent), recipients, marked, qPrintable(view.counts),
                     qPrintable(view.messages.join(QStringLiteral(" | "))));
    return round;
}

} // namespace

int main(int argc, char **argv)
{
    PrivateSettingsFolder settingsFolder;
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int recipients = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (recipients < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: campaign_bench [recipients] [rounds]\n");
        return 2;
    }

    QTemporaryDir folder;
    const QString databasePath = folder.filePath(QStringLiteral("destinataris.sqlite"));
    const QString mergeBodyPath = folder.filePath(QStringLiteral("butlleti.html"));
    const QString bareBodyPath = folder.filePath(QStringLiteral("body.html"));
    const QByteArray bareBody = benchmarkHtmlBody();
    QString error;
    if (!folder.isValid() || !writeFile(mergeBodyPath, benchmarkHtmlBody(mergeGreeting)) || !writeFile(bareBodyPath, bareBody)
        || !test::addBulkRecipientTable(databasePath, recipientTable, recipients, error)) {
        std::fprintf(stderr, "cannot prepare the files: %s\n", qPrintable(error));
        return 1;
    }

    test::SmtpSinkServer sink;
    if (!sink.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sink.errorText()));
        return 1;
    }

    // The campaign as the operator prepares it in the window.
    BenchView view;
    Campaign campaign(view);
    CampaignSettings &settings = campaign.settings();
    settings.applyStartDefaults();
    settings.setText(Setting::SenderAddress, senderAddress);
    settings.setText(Setting::SenderName, senderName);
    settings.setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(sink.port()));
    settings.setText(Setting::WaitSeconds, QStringLiteral("0"));
    settings.setCheckValue(Check::GroupSendings, 0);
    settings.setText(Setting::DatabaseSource, databasePath);
    OpenRecipientDatabase(campaign, true);
    settings.setText(Setting::TableName, recipientTable);
    LoadFieldList(campaign);
    settings.setText(Setting::AddressField, addressField);
    FillRecipientGrid(campaign);
    settings.setText(Setting::MessageSubject, subjectTemplate);
    settings.setBodyKind(BodyKind::File);
    settings.setText(Setting::BodySource, mergeBodyPath);
    RefreshBodyPreview(campaign);
    // Saved, so that its runs keep their journal beside the project.
    campaign.setProjectPath(folder.filePath(QStringLiteral("campanya.pcm")));
    if (!view.messages.isEmpty() || campaign.grid().dataRowCount() != recipients
        || settings.text(Setting::BodyText).size() != bodyBytes) {
        std::fprintf(stderr, "the campaign could not be prepared: %s\n", qPrintable(view.messages.join(u' ')));
        return 1;
    }

    // The run's component is set up as the bare one is, so a sink that stops
    // answering ends each message in seconds.
    const quint16 port = sink.port();
    SystemInternetConnection connection;
    CampaignRun run(campaign, connection, [port] {
        auto mail = std::make_unique<clsEnviarCorreu>();
        aimAtLoopback(*mail, port);
        return mail;
    });
    // A failed message stops the run at the next group: no figures come of it.
    QObject::connect(&run, &CampaignRun::groupMarked, [&campaign](const RunCounts &counts) {
        if (counts.sent != counts.processed)
            campaign.setStopRequested(true);
    });

    clsEnviarCorreu bare;
    aimAtLoopback(bare, port);
    bare.setFrom(senderAddress);
    bare.setFromDisplayName(senderName);
    bare.setAsHTML(true);
    const QString bareBodyText = fromWindows1252(bareBody);

    const QString mergeScript = QStringLiteral(TRAMELO_BENCH_DIR "/python_mail_merge.py");
    const QStringList mergeArguments = {databasePath, recipientTable, addressField, QStringLiteral("127.0.0.1"),
                                        QString::number(port), QStringLiteral("--subject"), subjectTemplate,
                                        QStringLiteral("--body"), mergeBodyPath, QStringLiteral("--sender"),
                                        senderAddress, QStringLiteral("--sender-name"), senderName};

    std::printf("smtp-sink on 127.0.0.1:%u; %d recipients in SQLite, one message each (%lld-byte HTML body with\n"
                "merge fields), %d rounds of campaign (send journal on, in %s), bare component and Python mail merge;\n"
                "wall-clock time;\n"
                "the machine's 2 processors are shared with other work, so single rounds fluctuate: the medians count\n",
                unsigned(port), recipients, static_cast<long long>(bodyBytes), rounds, qPrintable(folder.path()));

    // Warm-up, not counted: a whole campaign, and a few bare and Python messages.
    int expected = 0;
    const CampaignRound campaignWarmUp = runCampaign(campaign, run, view, recipients);
    expected += recipients;
    const BareRound bareWarmUp = runBareComponentMessages(bare, bareBodyText, warmUpMessages);
    expected += warmUpMessages;
    const PythonResult pythonWarmUp =
        runPythonBench(port, QStringLiteral("messages"), warmUpMessages, bareBodyPath);
    expected += warmUpMessages;
    bool verified = campaignWarmUp.ok && bareWarmUp.successes == warmUpMessages && bareWarmUp.failures == 0
        && pythonWarmUp.ok && sinkCounted(sink, expected, "warm-up", 0);
    if (!verified)
        std::fprintf(stderr, "warm-up failed: %s %s\n", qPrintable(bareWarmUp.firstFailure), qPrintable(pythonWarmUp.error));

    std::vector<double> campaignRates;
    std::vector<double> bareRates;
    std::vector<double> pythonRates;
    for (int round = 1; round <= rounds && verified; ++round) {
        const CampaignRound ours = runCampaign(campaign, run, view, recipients);
        expected += recipients;
        verified = ours.ok && sinkCounted(sink, expected, "campaign", round);

        const double bareProcessorStart = processorSeconds();
        const BareRound bareRound = runBareComponentMessages(bare, bareBodyText, recipients);
        const double bareProcessorSeconds = processorSeconds() - bareProcessorStart;
        expected += recipients;
        if (bareRound.successes != recipients || bareRound.failures != 0) {
            std::fprintf(stderr, "round %d: %d SendSuccesful and %d SendFailed for %d messages (%s)\n", round,
                         bareRound.successes, bareRound.failures, recipients, qPrintable(bareRound.firstFailure));
            verified = false;
        }
        verified = sinkCounted(sink, expected, "bare component", round) && verified;

        const PythonResult python = runPythonScript(mergeScript, mergeArguments, recipients);
        expected += recipients;
        if (!python.ok) {
            std::fprintf(stderr, "round %d: %s\n", round, qPrintable(python.error));
            verified = false;
        }
        verified = sinkCounted(sink, expected, "Python", round) && verified;
        if (!verified)
            break;

        campaignRates.push_back(recipients / ours.seconds);
        bareRates.push_back(recipients / bareRound.seconds);
        pythonRates.push_back(recipients / python.seconds);
        std::printf("round %d: campaign %7.1f msg/s (%.3f s, processor %.3f s)   bare %7.1f msg/s (%.3f s, processor %.3f s)   "
                    "Python %6.1f msg/s (%.3f s; process %.3f s)\n",
                    round, campaignRates.back(), ours.seconds, ours.processorSeconds, bareRates.back(),
                    bareRound.seconds, bareProcessorSeconds, pythonRates.back(), python.seconds, python.wallSeconds);
    }
    if (!verified) {
        std::fprintf(stderr, "messages failed: no figures reported\n");
        return 1;
    }

    const double campaignRate = median(campaignRates);
    const double bareRate = median(bareRates);
    const double pythonRate = median(pythonRates);
    const double ofBare = campaignRate / bareRate;
    const double ofPython = campaignRate / pythonRate;
    std::printf("median  campaign with journal (CampaignRun::run, SQLite to smtp-sink): %8.1f messages/s\n", campaignRate);
    std::printf("median  bare component (clsEnviarCorreu Send):                        %8.1f messages/s\n", bareRate);
    std::printf("median  Python mail merge (sqlite3, email, smtplib):                  %8.1f messages/s\n", pythonRate);
    std::printf("ratio   campaign / bare:   %.2f   goal >= %.1f: %s\n", ofBare, goalOfBare,
                ofBare >= goalOfBare ? "met" : "NOT met");
    std::printf("ratio   campaign / Python: %.2f   goal >= %.1f: %s\n", ofPython, goalOfPython,
                ofPython >= goalOfPython ? "met" : "NOT met");
    return 0;
}
