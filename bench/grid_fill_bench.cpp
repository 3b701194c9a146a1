// Fills the recipient grid from an SQLite table of 100,000 rows and 10
// columns through the real SQLite3 ODBC driver, as the operator's choice of
// an address field does, and reports the time and the peak resident memory.
//
//   grid_fill_bench [rows] [repetitions]

#include "bench_campaign_view.h"
#include "campaign.h"
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int repetitions = argc > 2 ? std::max(1, atoi(argv[2])) : 3;

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("destinataris.db"));
    QString error;
    if (!folder.isValid() || !test::addBulkRecipientTable(path, QStringLiteral("Clients"), rows, error)) {
        std::fprintf(stderr, "cannot create the database: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("table: %d rows x 10 columns, %.1f MiB on disk; resident before filling: %.1f MiB\n", rows,
                QFile(path).size() / 1048576.0, statusMiB("VmRSS"));

    bench::BenchView view;
    Campaign campaign(view);
    campaign.settings().setText(Setting::DatabaseSource, path);
    OpenRecipientDatabase(campaign, true);
    campaign.settings().setText(Setting::TableName, QStringLiteral("Clients"));
    LoadFieldList(campaign);
    campaign.settings().setText(Setting::AddressField, QStringLiteral("Correu"));

    std::vector<double> seconds;
    std::vector<double> processor;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        const double processorStart = processorSeconds();
        FillRecipientGrid(campaign);
        seconds.push_back(timer.nsecsElapsed() / 1e9);
        processor.push_back(processorSeconds() - processorStart);
        if (!view.messages.isEmpty() || campaign.grid().dataRowCount() != rows) {
            std::fprintf(stderr, "the fill failed: %s\n", qPrintable(view.messages.join(QLatin1Char('\n'))));
            return 1;
        }
        std::printf("fill %d: %.3f s (processor %.3f s)\n", i + 1, seconds.back(), processor.back());
    }

    // What a view costs once the grid is full: every cell read once.
    QElapsedTimer timer;
    timer.start();
    qsizetype characters = 0;
    const RecipientGrid &grid = campaign.grid();
    for (int row = 1; row <= grid.dataRowCount(); ++row) {
        for (int column = 0; column < grid.gridColumnCount(); ++column)
            characters += grid.cellText(row, column).size();
    }
    const double readAll = timer.nsecsElapsed() / 1e9;

    std::printf("fill time: best %.3f s, median %.3f s, median processor time %.3f s (goal: under 1 s)\n",
                *std::min_element(seconds.begin(), seconds.end()), median(seconds), median(processor));
    std::printf("every cell read once: %.3f s (%lld characters)\n", readAll, static_cast<long long>(characters));
    std::printf("resident now: %.1f MiB; peak resident: %.1f MiB (goal: under 200 MiB)\n", statusMiB("VmRSS"),
                statusMiB("VmHWM"));
    return 0;
}
