#pragma once

#include <QString>
#include <QStringList>

class QTemporaryDir;

namespace tramelo::test {

// A copy of one of the shared Access files in the folder (the originals are
// never opened); empty when it could not be copied.
QString copySharedDatabase(const QString &fileName, const QTemporaryDir &folder);

// Creates an SQLite file and runs the statements on it in one transaction.
// On failure returns false with SQLite's message in error.
bool createSqliteDatabase(const QString &path, const QStringList &statements, QString &error);

// Adds a table of the given rows with ten columns, Id, Nom, Cognoms, Correu,
// Ciutat, Telefon, Codi, Alta, Import and Notes, each row's values derived
// from its number (Correu "client<n>@example.com", Notes null every seventh
// row, accented surnames).
bool addBulkRecipientTable(const QString &path, const QString &table, int rows, QString &error);

} // namespace tramelo::test
