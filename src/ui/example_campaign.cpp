#include "example_campaign.h"

#include "project_record.h"
#include "windows1252.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tramelo {
namespace {

ProjectRecord exampleRecord(const QString &folder)
{
    ProjectRecord record;
    record.senderAddress = QStringLiteral("remitent@example.com");
    record.senderName = QStringLiteral("Associació Exemple");
    record.smtpServer = QStringLiteral("localhost");
    record.databaseSource = folder + u'/' + QString::fromUtf16(exampleDatabaseName);
    record.sourceIsTable = true;
    record.tableOrStatement = QStringLiteral("Destinataris");
    record.tableQuoteLeft = QStringLiteral("[");
    record.tableQuoteRight = QStringLiteral("]");
    // The address field is left for the operator to choose.
    record.messageSubject = QStringLiteral("Notícies per a <<<Nom>>> de <<<Ciutat>>>");
    record.bodyIsFile = true;
    record.bodySource = folder + u'/' + QString::fromUtf16(exampleBodyName);
    record.fieldDelimiterLeft = QStringLiteral("<<<");
    record.fieldDelimiterRight = QStringLiteral(">>>");
    record.groupSize = 20;
    record.waitSeconds = 0;
    return record;
}

bool namesExistingFiles(const QString &projectPath)
{
    QFile file(projectPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const ProjectRecord record = readProjectRecord(file.read(maxProjectRecordBytes)).record;
    return QFileInfo(record.databaseSource).isFile() && QFileInfo(record.bodySource).isFile();
}

} // namespace

QString findExampleFolder()
{
    for (const QString &candidate : {QCoreApplication::applicationDirPath() + QStringLiteral("/examples"),
                                     QStringLiteral(TRAMELO_SOURCE_EXAMPLES_DIR)}) {
        if (QFileInfo(candidate + u'/' + QString::fromUtf16(exampleDatabaseName)).isFile())
            return QDir(candidate).absolutePath();
    }
    return {};
}

std::optional<QString> prepareExampleProject(const QString &folder)
{
    const QString projectPath = folder + u'/' + QString::fromUtf16(exampleProjectName);
    if (namesExistingFiles(projectPath))
        return std::nullopt;

    const QString absoluteFolder = QDir(folder).absolutePath();
    // The file stores single-byte text: a folder it cannot spell cannot be named.
    if (fromWindows1252(toWindows1252(absoluteFolder)) != absoluteFolder)
        return QStringLiteral("The example project cannot name the folder %1 in its character set").arg(absoluteFolder);
    const std::optional<QByteArray> bytes = writeProject(exampleRecord(absoluteFolder), {});
    if (!bytes)
        return QStringLiteral("The example project for %1 does not fit its format").arg(absoluteFolder);

    QSaveFile file(projectPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        return QStringLiteral("Cannot write the example project %1: %2").arg(projectPath, file.errorString());
    return std::nullopt;
}

} // namespace tramelo
