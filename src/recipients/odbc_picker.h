#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tramelo {

// What the operator chose in the ODBC source picker.
struct OdbcSourceChoice {
    enum class Kind { DataSource, Driver };
    Kind kind = Kind::DataSource;
    QString name;       // a data source name, or a driver name
    QString attributes; // further "KEY=value;..." pairs, e.g. the database a driver opens
    QString user;
    QString password;
};

// What the picker puts in front of every connect string it gives.
inline const QString odbcConnectPrefix = QStringLiteral("ODBC;");

// "ODBC;" followed by DSN=name or DRIVER={name}, the further attributes, and
// UID and PWD when given. A value that would break the string is enclosed
// in braces.
QString odbcPickerConnectString(const OdbcSourceChoice &choice);

struct OdbcListEntry {
    QString name;
    QString description;
};
// The data sources and the drivers the driver manager knows, in its order;
// nothing and its own text on failure.
std::optional<QList<OdbcListEntry>> odbcDataSources(QString &error);
std::optional<QList<OdbcListEntry>> odbcDrivers(QString &error);

// Connects with the picker's connect string as the driver manager's prompt
// would, and gives the connect string the driver completed ("ODBC;" first);
// a string of the SQLite3 driver, which is read without it, comes back as
// it is. Nothing and the driver's own text when the source cannot be
// reached, or the reason when the string is refused (see databaseRouteOf).
std::optional<QString> completeOdbcConnectString(const QString &pickerConnectString, QString &error);

} // namespace tramelo
