#pragma once

#include <QString>

#include <optional>

namespace tramelo {

// How the rows of a connection string (see connectionStringFor) are read.
struct DatabaseRoute {
    enum class Engine {
        Sqlite, // by the SQLite library itself: target is a path or a "file:" URI
        Csv,    // through a copy in SQLite: target is the CSV file
        Odbc,   // through the driver manager: target is the connect string
    };
    Engine engine;
    QString target;
};

// A Jet string names a CSV file, an SQLite file (by its header) or else an
// Access file, read through the MDBTools driver. Any other text is an ODBC
// connect string; one whose driver is the SQLite3 ODBC driver is read as
// the SQLite file it names (Database=, in the string or in its data source),
// since that driver lets any statement load code.
//
// Nothing, with the operator's reason in error, for a file that is not
// there, and for a connect string that
// would make the driver manager load a library it has not registered (a
// path in DRIVER=, a file data source), write a file (SAVEFILE=), or run
// statements or load code while connecting (the PostgreSQL driver's
// ConnSettings=, the MariaDB driver's INITSTMT= and PLUGIN_DIR=).
std::optional<DatabaseRoute> databaseRouteOf(const QString &connectionString, QString &error);

} // namespace tramelo
