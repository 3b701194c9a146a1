#include "example_campaign.h"
#include "project_record.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

ProjectRecord readRecord(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? readProjectRecord(file.readAll()).record : ProjectRecord{};
}

bool writeRecord(const QString &path, const ProjectRecord &record)
{
    const std::optional<QByteArray> bytes = writeProject(record, {});
    QFile file(path);
    return bytes && file.open(QIODevice::WriteOnly) && file.write(*bytes) == bytes->size();
}

class ExampleProject : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        for (const QString &name : {QStringLiteral("destinataris.sqlite"), QStringLiteral("cos.htm")})
            ASSERT_TRUE(QFile::copy(test::sourceDir() + QStringLiteral("/examples/") + name, folder.filePath(name)));
        project = folder.filePath(QStringLiteral("exemple.pcm"));
    }

    QTemporaryDir folder;
    QString project;
};

} // namespace

TEST_F(ExampleProject, NamesTheFilesOfItsOwnFolderByAbsolutePath)
{
    ASSERT_EQ(prepareExampleProject(folder.path()), std::nullopt);
    const ProjectRecord record = readRecord(project);
    const QString here = QDir(folder.path()).absolutePath();
    EXPECT_EQ(record.databaseSource, here + QStringLiteral("/destinataris.sqlite"));
    EXPECT_EQ(record.bodySource, here + QStringLiteral("/cos.htm"));
    EXPECT_TRUE(record.bodyIsFile);
    EXPECT_TRUE(record.sourceIsTable);
    EXPECT_EQ(record.tableOrStatement, QStringLiteral("Destinataris"));
    EXPECT_EQ(record.addressField, QString()); // left for the operator to choose
    EXPECT_EQ(record.fieldDelimiterLeft, QStringLiteral("<<<"));
    EXPECT_EQ(record.fieldDelimiterRight, QStringLiteral(">>>"));
    EXPECT_EQ(record.recipientRowCount, 0);
    EXPECT_TRUE(record.senderAddress.endsWith(QStringLiteral("@example.com")));
}

TEST_F(ExampleProject, KeepsAProjectWhoseFilesExist)
{
    ASSERT_EQ(prepareExampleProject(folder.path()), std::nullopt);
    ProjectRecord changed = readRecord(project);
    changed.smtpServer = QStringLiteral("smtp.el-meu-servidor.cat");
    ASSERT_TRUE(writeRecord(project, changed));

    ASSERT_EQ(prepareExampleProject(folder.path()), std::nullopt);
    EXPECT_EQ(readRecord(project).smtpServer, QStringLiteral("smtp.el-meu-servidor.cat"));
}

TEST_F(ExampleProject, RewritesAProjectLeftFromAnotherFolder)
{
    ProjectRecord moved;
    moved.databaseSource = QStringLiteral("/una/altra/carpeta/destinataris.sqlite");
    moved.bodySource = QStringLiteral("/una/altra/carpeta/cos.htm");
    ASSERT_TRUE(writeRecord(project, moved));

    ASSERT_EQ(prepareExampleProject(folder.path()), std::nullopt);
    EXPECT_EQ(readRecord(project).databaseSource, QDir(folder.path()).absolutePath() + QStringLiteral("/destinataris.sqlite"));
}

TEST(ExampleFolder, IsFoundInTheSourceTreeTheProgramWasBuiltFrom)
{
    EXPECT_EQ(findExampleFolder(), QDir(test::sourceDir() + QStringLiteral("/examples")).absolutePath());
}
