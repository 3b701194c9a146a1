// Fills the recipient grid from an SQLite table of 100,000 rows and 10
// columns, read by the SQLite library as the program reads it, as the operator's choice of
// an address field does, and from the same table exported as a CSV file, in
// alternating rounds; reports the times and the peak resident memory.
// With "sqlite", the SQLite rounds alone, in a process that starts no
// thread (the CSV file's copy runs on a thread of its own, and a process
// that has started one pays for locks in malloc ever after).
//
//   grid_fill_bench [rows] [repetitions] [sqlite]

#include "bench_campaign_view.h"
#include "campaign.h"
#include "connection_strings.h"
#include "recipient_connection.h"
#include "recipient_grid.h"
#include "recipient_source.h"
#include "test_databases.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

using namespace tramelo;

namespace {

// A line of /proc/self/status in MiB, e.g. VmHWM (peak) or VmRSS (now).
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

// Processor time of the whole process: on a machine shared with other work
// the wall-clock time also counts the waits for a free processor.
double processorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The table again as a CSV file, as a spreadsheet exports it: comma-separated,
// UTF-8, a field in quotes only when it needs them.
bool exportCsv(const QString &databasePath, const QString &csvPath, QString &error)
{
    RecipientConnection connection;
    std::unique_ptr<RecordSnapshot> rows;
    if (!connection.open(connectionStringFor(databasePath), error)
        || !(rows = connection.openSnapshot(QStringLiteral("Select * From [Clients]"), error)))
        return false;
    QFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    const auto line = [](QStringList fields) {
        for (QString &field : fields) {
            if (field.contains(u',') || field.contains(u'"') || field.contains(u'\n') || field.contains(u'\r'))
                field = u'"' + field.replace(u'"', QLatin1String("\"\"")) + u'"';
        }
        return (fields.join(u',') + QStringLiteral("\r\n")).toUtf8();
    };
    file.write(line(rows->fieldNames()));
    for (; !rows->atEnd(); rows->moveNext()) {
        QStringList fields;
        for (int field = 0; field < rows->fieldCount(); ++field)
            fields << rows->value(field).value_or(QString());
        file.write(line(fields));
    }
    return file.flush();
}

struct Round {
    double open = 0;  // the database named and its table chosen
    double fill = 0;  // the address field chosen
    double processor = 0;
};

// One operator's way from the database box to a full grid, on a campaign of
// its own; nothing when something failed.
std::optional<Round> fillFrom(const QString &path, const QString &table, int rows, std::unique_ptr<Campaign> &campaign,
                              bench::BenchView &view)
{
    campaign = std::make_unique<Campaign>(view);
    QElapsedTimer timer;
    timer.start();
    const double processorStart = processorSeconds();
    campaign->settings().setText(Setting::DatabaseSource, path);
    OpenRecipientDatabase(*campaign, true);
    campaign->settings().setText(Setting::TableName, table);
    LoadFieldList(*campaign);
    Round round;
    round.open = timer.nsecsElapsed() / 1e9;
    campaign->settings().setText(Setting::AddressField, QStringLiteral("Correu"));
    FillRecipientGrid(*campaign);
    round.fill = timer.nsecsElapsed() / 1e9 - round.open;
    round.processor = processorSeconds() - processorStart;
    if (!view.messages.isEmpty() || campaign->grid().dataRowCount() != rows) {
        std::fprintf(stderr, "the fill failed: %s\n", qPrintable(view.messages.join(QLatin1Char('\n'))));
        return std::nullopt;
    }
    return round;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int repetitions = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    const bool sqliteAlone = argc > 3 && QByteArrayView(argv[3]) == "sqlite";

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("destinataris.db"));
    const QString csvPath = folder.filePath(QStringLiteral("Clients.csv"));
    QString error;
    if (!folder.isValid() || !test::addBulkRecipientTable(path, QStringLiteral("Clients"), rows, error)
        || !exportCsv(path, csvPath, error)) {
        std::fprintf(stderr, "cannot create the database: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("table: %d rows x 10 columns, %.1f MiB on disk, %.1f MiB as CSV; resident before filling: %.1f MiB\n",
                rows, QFile(path).size() / 1048576.0, QFile(csvPath).size() / 1048576.0, statusMiB("VmRSS"));

    // SQLite and CSV in alternating rounds, each from the database box on,
    // each source first in every other round.
    bench::BenchView view;
    std::unique_ptr<Campaign> campaign;
    std::vector<double> sqliteOpen, sqliteFill, sqliteProcessor, csvOpen, csvFill, csvProcessor;
    for (int i = 0; i < repetitions; ++i) {
        std::optional<Round> csv;
        std::optional<Round> sqlite;
        for (int turn = 0; turn < 2; ++turn) {
            if ((i + turn) % 2 == 0)
                csv = sqliteAlone ? Round{} : fillFrom(csvPath, QStringLiteral("Clients"), rows, campaign, view);
            else
                sqlite = fillFrom(path, QStringLiteral("Clients"), rows, campaign, view);
        }
        if (!csv || !sqlite)
            return 1;
        sqliteOpen.push_back(sqlite->open);
        sqliteFill.push_back(sqlite->fill);
        sqliteProcessor.push_back(sqlite->processor);
        csvOpen.push_back(csv->open);
        csvFill.push_back(csv->fill);
        csvProcessor.push_back(csv->processor);
        std::printf("round %d: SQLite open %.3f s, fill %.3f s", i + 1, sqlite->open, sqlite->fill);
        if (!sqliteAlone)
            std::printf("; CSV open %.3f s, fill %.3f s", csv->open, csv->fill);
        std::printf("\n");
    }

    // What a view costs once the grid is full: every cell read once.
    QElapsedTimer timer;
    timer.start();
    qsizetype characters = 0;
    const RecipientGrid &grid = campaign->grid();
    for (int row = 1; row <= grid.dataRowCount(); ++row) {
        for (int column = 0; column < grid.gridColumnCount(); ++column)
            characters += grid.cellText(row, column).size();
    }
    const double readAll = timer.nsecsElapsed() / 1e9;

    std::printf("SQLite fill time: best %.3f s, median %.3f s; open + fill median %.3f s, processor %.3f s (goal: under 1 s)\n",
                *std::min_element(sqliteFill.begin(), sqliteFill.end()), median(sqliteFill),
                median(sqliteOpen) + median(sqliteFill), median(sqliteProcessor));
    if (!sqliteAlone) {
        std::printf("CSV open (the copy into SQLite) median %.3f s, fill median %.3f s; open + fill median %.3f s, processor %.3f s\n",
                    median(csvOpen), median(csvFill), median(csvOpen) + median(csvFill), median(csvProcessor));
        std::printf("CSV open + fill / SQLite fill: %.2f; / SQLite open + fill: %.2f (goal: within 1.5)\n",
                    (median(csvOpen) + median(csvFill)) / median(sqliteFill),
                    (median(csvOpen) + median(csvFill)) / (median(sqliteOpen) + median(sqliteFill)));
    }
    std::printf("every cell read once: %.3f s (%lld characters)\n", readAll, static_cast<long long>(characters));
    std::printf("resident now: %.1f MiB; peak resident: %.1f MiB (goal: under 200 MiB)\n", statusMiB("VmRSS"),
                statusMiB("VmHWM"));
    return 0;
}
