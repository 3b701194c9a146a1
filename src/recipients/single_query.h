#pragma once

#include <QString>

#include <optional>

namespace tramelo {

// What the operator is told when a text is not a single query.
inline const QString notASingleQueryMessage = QStringLiteral(
    "Només es pot fer servir una consulta SELECT: el programa no modifica mai la base de dades de destinataris");

// The text of a single query that only reads (SELECT, or WITH ... SELECT,
// in any letter case), without the blanks and comments before it and
// without its final ";", which some drivers refuse: the text the driver is
// given. Nothing for anything else: a statement that writes (also a SELECT
// ... INTO, or a WITH holding an INSERT, UPDATE, DELETE or MERGE), text
// after a ";", MySQL's and MariaDB's executable comments ("/*!...*/",
// "/*M!...*/", which the server runs as part of the statement), or no
// statement at all. Quotes and comments are read both as standard SQL and
// as MySQL reads them, and the text must pass either way.
std::optional<QString> singleQueryOf(const QString &sql);

} // namespace tramelo
