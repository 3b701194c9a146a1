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

// SQLite opens a "file:" name as a URI, where "%", "?" and "#" have a meaning
// of their own.
QString sqliteUriPath(const QString &path)
{
    QString escaped = path;
    escaped.replace(u'%', QLatin1String("%25")).replace(u'?', QLatin1String("%3f")).replace(u'#', QLatin1String("%23"));
    return escaped;
}

bool startsWithSqliteHeader(const QString &path)
{
    static const QByteArray header("SQLite format 3\0", 16);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(header.size()) == header;
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

QString odbcConnectStringFor(const QString &connectionString)
{
    if (!connectionString.startsWith(jetPrefix, Qt::CaseInsensitive))
        return connectionString;
    // Neither driver accepts a quoted value, so a path holding ";" cannot be
    // named; it fails to open like any other wrong path.
    const QString path = expandHome(connectionString.mid(jetPrefix.size()));
    // A recipient file is only ever read: SQLite itself refuses any write,
    // and a file that has gone is not created anew. Left to itself the
    // driver copies a whole result set into its own memory before the first
    // row, and does so inside any transaction even with its step reading on;
    // a file that cannot be written has nothing for a transaction to undo.
    if (startsWithSqliteHeader(path))
        return readOnlySqliteConnectString(QStringLiteral("file:") + sqliteUriPath(path));
    return QStringLiteral("DRIVER={MDBTools};DBQ=") + path;
}

QString readOnlySqliteConnectString(const QString &uri)
{
    return QStringLiteral("DRIVER={SQLite3};Database=") + uri + (uri.contains(u'?') ? u'&' : u'?')
        + QStringLiteral("mode=ro;NoCreat=1;StepAPI=1;NoTXN=1");
}

std::optional<QString> csvFileOf(const QString &connectionString)
{
    if (!connectionString.startsWith(jetPrefix, Qt::CaseInsensitive))
        return std::nullopt;
    const QString path = expandHome(connectionString.mid(jetPrefix.size()));
    if (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) && !path.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
        return std::nullopt;
    return path;
}

bool isListedTable(const QString &tableType, const QString &tableName)
{
    static const QStringList listedTypes = {QStringLiteral("TABLE"), QStringLiteral("VIEW"), QStringLiteral("PASS-THROUGH")};
    return listedTypes.contains(tableType)
        && tableName != QLatin1String("MSysModules")
        && tableName != QLatin1String("MSysModules2");
}

} // namespace tramelo
