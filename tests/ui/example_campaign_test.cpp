#include "example_campaign.h"
#include "gtest_qt_printers.h"
#include "project_record.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace std::chrono_literals;

namespace {

const QString examples = test::sourceDir() + QStringLiteral("/examples");

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(ExampleProject, NamesItsFilesRelativeToItsOwnFolderAndIsFound)
{
    const ProjectRecord record = readProjectRecord(fileBytes(examples + QStringLiteral("/exemple.pcm"))).record;
    EXPECT_EQ(record.databaseSource, QString::fromUtf16(exampleDatabaseName));
    EXPECT_EQ(record.bodySource, QString::fromUtf16(exampleBodyName));
    EXPECT_EQ(record.addressField, QString()); // left for the operator to choose
    EXPECT_EQ(findExampleFolder(), QDir(examples).absolutePath());
}

// Started, left to come to rest with its About box shown, then ended, the
// program has written nothing into the checkout it was built from.
TEST(ProgramStart, LeavesTheCheckoutAsItWas)
{
    const auto checkoutChanges = [] {
        QProcess git;
        git.start(QStringLiteral("git"), {QStringLiteral("-C"), test::sourceDir(), QStringLiteral("status"), QStringLiteral("--porcelain")});
        return git.waitForFinished(30000) ? git.readAllStandardOutput() : QByteArray();
    };
    // Processor time used so far, in clock ticks (fields 14 and 15 of its stat line).
    const auto cpuTicks = [](qint64 pid) {
        const QList<QByteArray> fields = fileBytes(QStringLiteral("/proc/%1/stat").arg(pid)).split(' ');
        return fields.size() > 15 ? fields[13].toLongLong() + fields[14].toLongLong() : -1;
    };
    const QByteArray changesBefore = checkoutChanges();
    const QByteArray projectBefore = fileBytes(examples + QStringLiteral("/exemple.pcm"));
    test::TestProcess program;
    ASSERT_TRUE(program.start(QStringLiteral(TRAMELO_PROGRAM), {}));
    long long ticks = -2;
    for (int look = 0; look < 80 && ticks != cpuTicks(program.process().processId()); ++look) {
        ticks = cpuTicks(program.process().processId());
        test::pumpEventsFor(250ms);
    }
    EXPECT_TRUE(program.isRunning()) << program.readOutput().constData();
    program.stop();
    EXPECT_EQ(fileBytes(examples + QStringLiteral("/exemple.pcm")), projectBefore);
    EXPECT_EQ(checkoutChanges(), changesBefore);
}
