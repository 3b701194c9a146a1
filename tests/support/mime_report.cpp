#include "mime_report.h"

#include "test_support.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryFile>

namespace tramelo::test {

namespace {

constexpr int inspectTimeoutMs = 60000;

} // namespace

MimeInspection inspectMime(const QByteArray &raw)
{
    const QString python = debianPython();
    if (!QFileInfo(python).isExecutable())
        return {{}, python + QStringLiteral(" is missing: install the Debian package python3")};

    // A file rather than a pipe: no dead lock on large messages.
    QTemporaryFile messageFile;
    if (!messageFile.open() || messageFile.write(raw) != raw.size() || !messageFile.flush())
        return {{}, QStringLiteral("cannot write the message to a temporary file: ") + messageFile.errorString()};

    QProcess parser;
    parser.start(python, {QStringLiteral("-I"), supportFile(QStringLiteral("mime_report.py")), messageFile.fileName()});
    if (!parser.waitForFinished(inspectTimeoutMs)) {
        parser.kill();
        parser.waitForFinished();
        return {{}, QStringLiteral("mime_report.py did not finish: ") + parser.errorString()};
    }
    const QByteArray errors = parser.readAllStandardError();
    if (parser.exitStatus() != QProcess::NormalExit || parser.exitCode() != 0)
        return {{}, QStringLiteral("mime_report.py failed: ") + QString::fromUtf8(errors)};

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(parser.readAllStandardOutput(), &parseError);
    if (!document.isObject())
        return {{}, QStringLiteral("mime_report.py printed no JSON object: ") + parseError.errorString()};
    return {document.object(), {}};
}

} // namespace tramelo::test
