#include "connection_strings.h"

#include <QDir>
#include <QFile>

namespace tramelo {

namespace {

const QString jetPrefix = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");

QString expandHome(const QString &path)
{
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

bool isPasswordKey(const QString &key)
{
    return key.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0
        || key.compare(QLatin1String("PASSWORD"), Qt::CaseInsensitive) == 0;
}

QString withoutBraces(QString value)
{
    if (value.startsWith(u'{'))
        value.remove(0, 1);
    if (value.endsWith(u'}'))
        value.chop(1);
    return value;
}

} // namespace

bool isFilePath(const QString &databaseBoxText)
{
    return databaseBoxText.startsWith(QLatin1String("\\\\"))
        || databaseBoxText.mid(1, 2) == QLatin1String(":\\")
        || databaseBoxText.startsWith(QLatin1Char('/'))
        || databaseBoxText.startsWith(QLatin1String("~/"));
}

QString connectionStringFor(const QString &databaseBoxText)
{
    return isFilePath(databaseBoxText) ? jetPrefix + databaseBoxText : databaseBoxText;
}

TableDelimiters defaultDelimitersFor(const QString &databaseBoxText, ServerKind server)
{
    if (isFilePath(databaseBoxText))
        return {QStringLiteral("["), QStringLiteral("]")};
    if (server == ServerKind::PostgreSql)
        return {QStringLiteral("\""), QStringLiteral("\"")};
    if (server == ServerKind::MySql || databaseBoxText.toUpper().contains(QLatin1String("MYSQL")))
        return {QStringLiteral("`"), QStringLiteral("`")};
    return {QStringLiteral("["), QStringLiteral("]")};
}

std::optional<QString> jetFileOf(const QString &connectionString)
{
    if (!connectionString.startsWith(jetPrefix, Qt::CaseInsensitive))
        return std::nullopt;
    return expandHome(connectionString.mid(jetPrefix.size()));
}

std::optional<QString> csvFileOf(const QString &connectionString)
{
    const std::optional<QString> path = jetFileOf(connectionString);
    if (!path || !(path->endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)
                   || path->endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)))
        return std::nullopt;
    return path;
}

bool startsWithSqliteHeader(const QString &path)
{
    static const QByteArray header("SQLite format 3\0", 16);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(header.size()) == header;
}

QList<ConnectAttribute> connectAttributes(const QString &connectString, Braces braces)
{
    QList<ConnectAttribute> attributes;
    const qsizetype n = connectString.size();
    qsizetype start = 0;
    while (start < n) {
        const qsizetype equals = connectString.indexOf(u'=', start);
        qsizetype end = connectString.indexOf(u';', start);
        if (equals < 0 || (end >= 0 && end < equals)) {
            // A word without a value: nothing to read.
            start = end < 0 ? n : end + 1;
            continue;
        }
        const QString key = connectString.mid(start, equals - start).trimmed();
        QString value;
        if (braces == Braces::Kept && equals + 1 < n && connectString[equals + 1] == u'{') {
            const qsizetype close = connectString.indexOf(u'}', equals + 2);
            const qsizetype valueEnd = close < 0 ? n : close;
            value = connectString.mid(equals + 2, valueEnd - equals - 2);
            end = connectString.indexOf(u';', valueEnd);
        } else {
            value = connectString.mid(equals + 1, (end < 0 ? n : end) - equals - 1);
            if (braces == Braces::Ignored)
                value = withoutBraces(value);
        }
        attributes.append({key, value});
        start = end < 0 ? n : end + 1;
    }
    return attributes;
}

QString withoutPasswords(QString text, const QString &connectString)
{
    for (const ConnectAttribute &attribute : connectAttributes(connectString, Braces::Kept)) {
        if (isPasswordKey(attribute.key) && !attribute.value.isEmpty())
            text.replace(attribute.value, QStringLiteral("****"));
    }
    return text;
}

bool isListedTable(const QString &tableType, const QString &tableName)
{
    static const QStringList listedTypes = {QStringLiteral("TABLE"), QStringLiteral("VIEW"), QStringLiteral("PASS-THROUGH")};
    return listedTypes.contains(tableType)
        && tableName != QLatin1String("MSysModules")
        && tableName != QLatin1String("MSysModules2");
}

} // namespace tramelo
