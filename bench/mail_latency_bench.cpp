// Messages per round trip behind a slow link: smtp-sink on loopback behind
// bench/delay_proxy (DELAY_MS each way, so a round trip of twice that), and
// the same campaign sent through the proxy by, in alternating rounds:
//   (a) bench/python_mail_merge.py --one-session (smtplib, one session);
//   (b) bench/curl_mail_merge (libcurl, one connection kept);
//   (c) a minimal pipelined client: one session, fixed message bytes, each
//       message's "." in the same write as the next one's MAIL, RCPT and
//       DATA: the most a client can get from one connection;
//   (d) the mail core's SmtpClient, composing each message from its row.
// Every round of every client is checked at the sink: its counter must
// move by exactly the messages sent.
//
//   mail_latency_bench [messages=300] [rounds=3] [delay_ms=10]
//   mail_latency_bench check
//     The Python peers (both scripts, every mode) and the libcurl one against
//     aiosmtpd, which refuses lines that do not end in CR LF: each must get
//     its messages taken. Also a test (mail_peers_strict_line_ends).

#include "mail_bench_support.h"
#include "message_composer.h"
#include "smtp_client.h"
#include "aiosmtpd_server.h"
#include "smtp_sink_server.h"
#include "test_databases.h"
#include "test_support.h"
#include "windows1252.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tramelo;
using namespace tramelo::bench;
using namespace std::chrono_literals;

namespace {

const QString subjectTemplate = QStringLiteral("Butlletí de novembre per a <<<Nom>>>");
const QString mergeGreeting =
    QStringLiteral("<p>Benvolgut/da <<<Nom>>> <<<Cognoms>>>, el vostre codi de client és <<<Codi>>>.</p>\n");
const QByteArray heloName = "bench.tramelo.test";

struct Campaign {
    QString database;
    QString bodyFile;
    QString bodyText; // the body file read as Windows-1252
};

std::optional<Campaign> prepareCampaign(const QTemporaryDir &folder, int messages)
{
    Campaign campaign{folder.filePath(QStringLiteral("destinataris.sqlite")), folder.filePath(QStringLiteral("cos.html")), {}};
    QString error;
    const QByteArray body = benchmarkHtmlBody(mergeGreeting);
    QFile file(campaign.bodyFile);
    if (!test::addBulkRecipientTable(campaign.database, recipientTable, messages, error) || !file.open(QIODevice::WriteOnly)
        || file.write(body) != body.size()) {
        std::fprintf(stderr, "cannot prepare the campaign: %s\n", qPrintable(error));
        return std::nullopt;
    }
    campaign.bodyText = fromWindows1252(body);
    return campaign;
}

QStringList mergeArguments(const Campaign &campaign, quint16 port)
{
    return {campaign.database, recipientTable, addressField, QStringLiteral("127.0.0.1"), QString::number(port),
            QStringLiteral("--subject"), subjectTemplate, QStringLiteral("--body"), campaign.bodyFile,
            QStringLiteral("--sender"), senderAddress, QStringLiteral("--sender-name"), senderName};
}

// ---- (d) the mail core ----------------------------------------------------

// The rows' fields merged into the text in the table's order, as the peers do.
QString merged(QString text, const QStringList &names, const QStringList &values)
{
    for (qsizetype i = 0; i < names.size(); ++i)
        text.replace(QStringLiteral("<<<") + names[i] + QStringLiteral(">>>"), values[i]);
    return text;
}

// Seconds for the whole campaign, or nothing when a message was not sent.
std::optional<double> coreClient(const Campaign &campaign, quint16 port, int messages)
{
    const double start = wallSeconds();
    sqlite3 *database = nullptr;
    sqlite3_stmt *rows = nullptr;
    const QByteArray query = QStringLiteral("SELECT * FROM \"%1\"").arg(recipientTable).toUtf8();
    if (sqlite3_open_v2(QFile::encodeName(campaign.database).constData(), &database, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(database, query.constData(), -1, &rows, nullptr) != SQLITE_OK) {
        sqlite3_close(database);
        return std::nullopt;
    }
    QStringList names;
    for (int c = 0; c < sqlite3_column_count(rows); ++c)
        names << QString::fromUtf8(sqlite3_column_name(rows, c));
    const qsizetype address = names.indexOf(addressField);

    SmtpSessionConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = port;
    config.greetingName = QString::fromLatin1(heloName);
    config.timeouts.connect = 10s;
    config.timeouts.reply = 10s;
    config.connectAttempts = 1;
    MessageSettings settings;
    settings.sender = senderAddress;
    settings.senderName = senderName;
    settings.replyTo = senderAddress;
    settings.html = true;
    const MessageComposer composer(settings, {});
    QString body = campaign.bodyText;
    const BodyLinks links = composer.linkEmbeddedFiles(body);
    int sent = 0;
    const auto count = [&sent](const std::vector<Delivery> &deliveries) {
        for (const Delivery &delivery : deliveries)
            sent += delivery.outcome.sent ? 1 : 0;
    };
    {
        SmtpClient client(config);
        for (quint64 id = 1; sqlite3_step(rows) == SQLITE_ROW; ++id) {
            QStringList values;
            for (int c = 0; c < names.size(); ++c)
                values << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(rows, c)));
            const QStringList to = {values[address]};
            const auto message = composer.compose(
                {to, to, {}, {}, merged(subjectTemplate, names, values), merged(body, names, values)}, links);
            count(client.send({id, {senderAddress, to}, message}));
        }
        count(client.close());
    }
    sqlite3_finalize(rows);
    sqlite3_close(database);
    if (sent != messages)
        return std::nullopt;
    return wallSeconds() - start;
}

// ---- (c) the minimal pipelined client -------------------------------------

class MinimalClient
{
public:
    explicit MinimalClient(quint16 port)
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int on = 1;
        m_ok = m_socket >= 0 && ::connect(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
    }
    ~MinimalClient()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }

    bool write(const QByteArray &bytes)
    {
        for (qsizetype done = 0; m_ok && done < bytes.size();) {
            const ssize_t sent = ::send(m_socket, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            m_ok = sent > 0;
            done += std::max<ssize_t>(sent, 0);
        }
        return m_ok;
    }

    // Reads that many replies; each must be positive (2xx or 3xx).
    bool replies(int count)
    {
        while (m_ok && count > 0) {
            const qsizetype end = m_input.indexOf('\n');
            if (end < 0) {
                char chunk[4096];
                const ssize_t got = ::recv(m_socket, chunk, sizeof chunk, 0);
                m_ok = got > 0;
                m_input.append(chunk, std::max<ssize_t>(got, 0));
                continue;
            }
            const QByteArray line = m_input.left(end + 1);
            m_input.remove(0, end + 1);
            if (line.size() >= 4 && line[3] == '-')
                continue;
            m_ok = line.startsWith('2') || line.startsWith('3');
            --count;
        }
        return m_ok;
    }

private:
    int m_socket = -1;
    bool m_ok = false;
    QByteArray m_input;
};

std::optional<double> minimalPipelinedClient(quint16 port, int messages, const QByteArray &message)
{
    const double start = wallSeconds();
    MinimalClient client(port);
    if (!client.replies(1) || !client.write("EHLO " + heloName + "\r\n") || !client.replies(1))
        return std::nullopt;
    for (int i = 0; i < messages; ++i) {
        const QByteArray group = (i > 0 ? QByteArray(".\r\n") : QByteArray()) + "MAIL FROM:<" + senderAddress.toLatin1()
            + ">\r\nRCPT TO:<client" + QByteArray::number(i + 1) + "@example.com>\r\nDATA\r\n";
        if (!client.write(group) || !client.replies(i > 0 ? 4 : 3) || !client.write(message))
            return std::nullopt;
    }
    if (!client.write(".\r\nQUIT\r\n") || !client.replies(2))
        return std::nullopt;
    return wallSeconds() - start;
}

// ---- the rounds -----------------------------------------------------------

struct Client {
    QString name;
    std::function<std::optional<double>()> run;
    bool inProcess = false; // its processor time is this thread's
};

bool sinkCounted(test::SmtpSinkServer &sink, int expected)
{
    sink.waitForMessageCount(expected, 30s);
    return sink.messageCount() == expected;
}

int compare(int messages, int rounds, double delayMs)
{
    QTemporaryDir folder;
    test::SmtpSinkServer sink;
    if (!sink.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(sink.errorText()));
        return 1;
    }
    test::TestProcess proxy;
    static const QRegularExpression ready(QStringLiteral("READY (\\d+)\\n"));
    QRegularExpressionMatch started;
    if (proxy.start(QStringLiteral(DELAY_PROXY_PROGRAM), {QString::number(sink.port()), QString::number(delayMs)}))
        started = proxy.waitForOutputMatch(ready, 10s);
    const std::optional<Campaign> campaign = prepareCampaign(folder, messages);
    if (!started.hasMatch() || !campaign) {
        std::fprintf(stderr, "cannot start the delaying proxy\n");
        return 1;
    }
    const quint16 port = started.captured(1).toUShort();
    const QStringList arguments = mergeArguments(*campaign, port);
    QByteArray fixedMessage = "From: " + senderAddress.toLatin1() + "\r\nTo: client@example.com\r\nSubject: x\r\n\r\n"
        + benchmarkHtmlBody().replace("\n", "\r\n");
    const auto peer = [&](const QString &program, const QStringList &programArguments) {
        return [=]() -> std::optional<double> {
            const PythonResult result = runReportingProgram(program, programArguments, messages);
            if (!result.ok)
                std::fprintf(stderr, "%s\n", qPrintable(result.error));
            return result.ok ? std::optional(result.seconds) : std::nullopt;
        };
    };
    const std::vector<Client> clients = {
        {QStringLiteral("(a) Python, one session"),
         peer(test::debianPython(), QStringList{QStringLiteral(TRAMELO_BENCH_DIR "/python_mail_merge.py")} + arguments
                                        + QStringList{QStringLiteral("--one-session")})},
        {QStringLiteral("(b) libcurl, one connection"), peer(QStringLiteral(CURL_MAIL_MERGE_PROGRAM), arguments)},
        {QStringLiteral("(c) minimal pipelined client"), [&] { return minimalPipelinedClient(port, messages, fixedMessage); },
         true},
        {QStringLiteral("(d) mail core (SmtpClient)"), [&] { return coreClient(*campaign, port, messages); }, true},
    };
    const double roundTrip = 2 * delayMs / 1000.0;
    std::printf("smtp-sink behind delay_proxy, %.1f ms each way (round trip %.1f ms); %d messages a round (4096-byte\n"
                "HTML body, 3 merge fields); %d rounds; messages per round trip = messages/s x round trip\n",
                delayMs, 2 * delayMs, messages, rounds);
    std::map<QString, std::vector<double>> rates;
    std::map<QString, std::vector<double>> processor;
    int expected = 0;
    for (int round = 1; round <= rounds; ++round) {
        for (const Client &client : clients) {
            const double processorStart = threadSeconds();
            const std::optional<double> seconds = client.run();
            if (client.inProcess)
                processor[client.name].push_back((threadSeconds() - processorStart) / messages * 1e6);
            expected += messages;
            if (!seconds || !sinkCounted(sink, expected)) {
                std::fprintf(stderr, "round %d: %s failed or the sink did not count its %d messages: no figures\n", round,
                             qPrintable(client.name), messages);
                return 1;
            }
            const double rate = messages / *seconds;
            rates[client.name].push_back(rate);
            std::printf("round %d: %-32s %7.1f msg/s  %5.2f messages per round trip\n", round, qPrintable(client.name),
                        rate, rate * roundTrip);
        }
    }
    for (const Client &client : clients) {
        const double rate = median(rates[client.name]);
        std::printf("median  %-32s %7.1f msg/s  %5.2f messages per round trip (%.2f round trips per message)",
                    qPrintable(client.name), rate, rate * roundTrip, 1 / (rate * roundTrip));
        if (client.inProcess)
            std::printf(", %.0f us of processor per message", median(processor[client.name]));
        std::printf("\n");
    }
    const double core = median(rates[clients[3].name]);
    std::printf("mail core: %.2f x Python, %.2f x libcurl, %.2f x the minimal pipelined client\n",
                core / median(rates[clients[0].name]), core / median(rates[clients[1].name]),
                core / median(rates[clients[2].name]));
    return 0;
}

// Every peer against a server that refuses bare line feeds.
int checkPeers()
{
    QTemporaryDir folder;
    test::AiosmtpdServer::Options options;
    options.logCommands = false;
    test::AiosmtpdServer server(options);
    constexpr int messages = 3;
    const std::optional<Campaign> campaign = prepareCampaign(folder, messages);
    if (!server.start() || !campaign) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorText()));
        return 1;
    }
    const QStringList arguments = mergeArguments(*campaign, server.port());
    const QString mergeScript = QStringLiteral(TRAMELO_BENCH_DIR "/python_mail_merge.py");
    const std::vector<std::pair<QString, PythonResult>> runs = {
        {QStringLiteral("python_mail_merge.py"), runPythonScript(mergeScript, arguments, messages)},
        {QStringLiteral("python_mail_merge.py --one-session"),
         runPythonScript(mergeScript, arguments + QStringList{QStringLiteral("--one-session")}, messages)},
        {QStringLiteral("curl_mail_merge"), runReportingProgram(QStringLiteral(CURL_MAIL_MERGE_PROGRAM), arguments, messages)},
        {QStringLiteral("python_smtp_bench.py messages"), runPythonBench(server.port(), QStringLiteral("messages"), messages)},
        {QStringLiteral("python_smtp_bench.py one-session-messages"),
         runPythonBench(server.port(), QStringLiteral("one-session-messages"), messages)},
    };
    int failures = 0;
    for (qsizetype i = 0; i < qsizetype(runs.size()); ++i) {
        const bool taken = runs[i].second.ok && server.waitForMessages(int(i + 1) * messages, 10s);
        std::printf("%-42s %s\n", qPrintable(runs[i].first), taken ? "every message taken" : qPrintable(runs[i].second.error));
        failures += taken ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const PrivateSettingsFolder settings;
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.value(0) == QLatin1String("check"))
        return checkPeers();
    return compare(arguments.value(0, QStringLiteral("300")).toInt(), arguments.value(1, QStringLiteral("3")).toInt(),
                   arguments.value(2, QStringLiteral("10")).toDouble());
}
