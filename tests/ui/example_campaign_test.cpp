#include "example_campaign.h"
#include "gtest_qt_printers.h"
#include "project_record.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>

using namespace tramelo;
using namespace std::chrono_literals;

namespace {

QString examplesDir()
{
    return test::sourceDir() + QStringLiteral("/examples");
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What git says has changed in the checkout; empty when it is no checkout.
QByteArray checkoutChanges()
{
    QProcess git;
    git.start(QStringLiteral("git"), {QStringLiteral("-C"), test::sourceDir(), QStringLiteral("status"),
                                      QStringLiteral("--porcelain"), QStringLiteral("--untracked-files=all")});
    if (!git.waitForFinished(30000) || git.exitCode() != 0)
        return {};
    return git.readAllStandardOutput();
}

// The processor time a process has used, in clock ticks; -1 once it is gone.
long long cpuTicks(qint64 pid)
{
    const QList<QByteArray> fields = fileBytes(QStringLiteral("/proc/%1/stat").arg(pid)).split(' ');
    return fields.size() > 15 ? fields[13].toLongLong() + fields[14].toLongLong() : -1;
}

} // namespace

TEST(ExampleProject, NamesItsFilesRelativeToItsOwnFolder)
{
    const ProjectRecord record = readProjectRecord(fileBytes(examplesDir() + QStringLiteral("/exemple.pcm"))).record;
    EXPECT_EQ(record.databaseSource, QString::fromUtf16(exampleDatabaseName));
    EXPECT_EQ(record.bodySource, QString::fromUtf16(exampleBodyName));
    EXPECT_TRUE(QFile::exists(examplesDir() + u'/' + record.databaseSource));
    EXPECT_TRUE(QFile::exists(examplesDir() + u'/' + record.bodySource));
    EXPECT_TRUE(record.bodyIsFile);
    EXPECT_TRUE(record.sourceIsTable);
    EXPECT_EQ(record.tableOrStatement, QStringLiteral("Destinataris"));
    EXPECT_EQ(record.addressField, QString()); // left for the operator to choose
    EXPECT_TRUE(record.senderAddress.endsWith(QStringLiteral("@example.com")));
}

TEST(ExampleFolder, IsFoundInTheSourceTreeTheProgramWasBuiltFrom)
{
    EXPECT_EQ(findExampleFolder(), QDir(examplesDir()).absolutePath());
}

// The program, started and brought to rest with its About box shown, then
// ended, has written nothing into the checkout it was built from.
TEST(ProgramStart, LeavesTheCheckoutAsItWas)
{
    const QByteArray changesBefore = checkoutChanges();
    const QByteArray projectBefore = fileBytes(examplesDir() + QStringLiteral("/exemple.pcm"));
    ASSERT_FALSE(projectBefore.isEmpty());

    test::TestProcess program;
    ASSERT_TRUE(program.start(QStringLiteral(TRAMELO_PROGRAM), {}));
    const qint64 pid = program.process().processId();
    // At rest: no processor time used over a quarter of a second.
    long long ticks = cpuTicks(pid);
    bool resting = false;
    for (int look = 0; look < 80 && !resting && ticks >= 0; ++look) {
        test::pumpEventsFor(250ms);
        const long long now = cpuTicks(pid);
        resting = now == ticks && look >= 2;
        ticks = now;
    }
    EXPECT_TRUE(resting) << program.readOutput().constData();
    EXPECT_TRUE(program.isRunning()) << program.readOutput().constData();
    program.stop();

    EXPECT_EQ(fileBytes(examplesDir() + QStringLiteral("/exemple.pcm")), projectBefore);
    EXPECT_EQ(checkoutChanges(), changesBefore);
}
