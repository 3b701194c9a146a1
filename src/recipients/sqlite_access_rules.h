#pragma once

#include <QString>

#include <optional>

namespace tramelo {

// What a recipient query may do on an SQLite database, as SQLite's
// authoriser asks it of every step of a statement it compiles (views
// included): select, read tables and columns, recurse in a common table
// expression, and call SQLite's own scalar, aggregate and window functions
// that neither load code nor reach files nor the outside world. Nothing
// else: no writes, ATTACH, PRAGMA (nor its table-valued functions),
// transactions or virtual tables.
//
// The arguments are those of the authoriser (sqlite3_set_authorizer). The
// answer is nothing when allowed, otherwise the operator's message naming
// what was refused ("La instrucció SQL fa servir una funció no permesa:
// load_extension").
inline const QString refusedStatementBeginning = QStringLiteral("La instrucció SQL ");
std::optional<QString> sqliteAccessRefusal(int action, const char *detail1, const char *detail2);

} // namespace tramelo
