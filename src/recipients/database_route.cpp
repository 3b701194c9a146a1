#include "database_route.h"

#include "connection_strings.h"

#include <QFileInfo>

#include <odbcinst.h>

#include <array>

namespace tramelo {
namespace {

// A value of the driver manager's configuration: "ODBCINST.INI" holds the
// registered drivers, "ODBC.INI" the data sources (the user's, then the
// system's); empty when there is none.
QString configurationValue(const QString &section, const char *key, const char *file)
{
    std::array<char, 4096> value{};
    const int length = SQLGetPrivateProfileString(section.toUtf8().constData(), key, "", value.data(),
                                                  int(value.size()), file);
    return QString::fromUtf8(value.data(), qBound(0, length, int(value.size()) - 1));
}

// The library of a registered driver; empty for a name the driver manager
// does not know, which it would load as a library's path.
QString registeredDriverLibrary(const QString &name)
{
    if (name.trimmed().isEmpty() || name.contains(u'/'))
        return {};
    return configurationValue(name, "Driver", "ODBCINST.INI");
}

bool isSqlite3DriverLibrary(const QString &library)
{
    return QFileInfo(library).fileName().startsWith(QLatin1String("libsqlite3odbc"));
}

// The first value of a key, compared without regard to case; empty when
// the string has none.
QString attributeValue(const QList<ConnectAttribute> &attributes, const char *key)
{
    for (const ConnectAttribute &attribute : attributes) {
        if (attribute.key.compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
            return attribute.value;
    }
    return {};
}

// Why the driver manager may not be given an attribute; empty when it may.
QString refusalOf(const ConnectAttribute &attribute)
{
    const QString key = attribute.key.toUpper();
    if (key == QLatin1String("DRIVER") && registeredDriverLibrary(attribute.value).isEmpty())
        return QStringLiteral("el controlador ODBC «%1» no està registrat al gestor de controladors").arg(attribute.value);
    if (key == QLatin1String("FILEDSN"))
        return QStringLiteral("un origen de dades en un arxiu (FILEDSN) pot fer carregar qualsevol biblioteca");
    if (key == QLatin1String("SAVEFILE"))
        return QStringLiteral("l'atribut SAVEFILE escriuria un arxiu");
    // ConnSettings of the PostgreSQL driver (A6 for short) and INITSTMT of
    // the MariaDB one run statements before anything else; PLUGIN_DIR
    // names where the MariaDB client loads code from.
    static const QStringList runsCode = {QStringLiteral("CONNSETTINGS"), QStringLiteral("A6"),
                                         QStringLiteral("INITSTMT"), QStringLiteral("PLUGIN_DIR")};
    if (runsCode.contains(key))
        return QStringLiteral("l'atribut %1 executaria instruccions o carregaria codi en connectar").arg(attribute.key);
    return {};
}

// The SQLite database a connect string reaches through the SQLite3 driver,
// named in the string or in its data source; nothing when it uses another driver.
std::optional<QString> sqlite3DriverDatabase(const QList<ConnectAttribute> &attributes)
{
    const QString driver = attributeValue(attributes, "DRIVER");
    const QString source = attributeValue(attributes, "DSN");
    QString library = registeredDriverLibrary(driver);
    if (driver.isEmpty() && !source.isEmpty()) {
        // A data source names its driver by name or by the library's path.
        const QString sourceDriver = configurationValue(source, "Driver", "ODBC.INI");
        library = sourceDriver.contains(u'/') ? sourceDriver : registeredDriverLibrary(sourceDriver);
    }
    if (!isSqlite3DriverLibrary(library))
        return std::nullopt;
    const QString database = attributeValue(attributes, "Database");
    return database.isEmpty() && !source.isEmpty() ? configurationValue(source, "Database", "ODBC.INI") : database;
}

} // namespace

std::optional<DatabaseRoute> databaseRouteOf(const QString &connectionString, QString &error)
{
    if (const std::optional<QString> file = jetFileOf(connectionString)) {
        // The Access driver would fail without a word.
        if (!QFileInfo::exists(*file)) {
            error = QStringLiteral("L'arxiu no existeix");
            return std::nullopt;
        }
        if (csvFileOf(connectionString))
            return DatabaseRoute{DatabaseRoute::Engine::Csv, *file};
        if (startsWithSqliteHeader(*file))
            return DatabaseRoute{DatabaseRoute::Engine::Sqlite, *file};
        // The driver accepts no quoted value, so a path holding ";" cannot
        // be named; it fails to open like any other wrong path.
        return DatabaseRoute{DatabaseRoute::Engine::Odbc, QStringLiteral("DRIVER={MDBTools};DBQ=") + *file};
    }

    const QList<ConnectAttribute> attributes = connectAttributes(connectionString, Braces::Kept);
    for (const QList<ConnectAttribute> &reading : {attributes, connectAttributes(connectionString, Braces::Ignored)}) {
        for (const ConnectAttribute &attribute : reading) {
            if (const QString refusal = refusalOf(attribute); !refusal.isEmpty()) {
                error = QStringLiteral("La cadena de connexió no s'accepta: ") + refusal;
                return std::nullopt;
            }
        }
    }
    if (const std::optional<QString> database = sqlite3DriverDatabase(attributes)) {
        if (database->isEmpty()) {
            error = QStringLiteral("La cadena de connexió del controlador SQLite3 no diu quina base de dades cal obrir (Database=)");
            return std::nullopt;
        }
        return DatabaseRoute{DatabaseRoute::Engine::Sqlite, *database};
    }
    return DatabaseRoute{DatabaseRoute::Engine::Odbc, connectionString};
}

} // namespace tramelo
