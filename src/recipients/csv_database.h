#pragma once

#include <QString>

#include <memory>

struct sqlite3;

namespace tramelo {

// A CSV file opened as a database: copied into an SQLite database in this
// process's memory that lives as long as the object, as one table named after the CSV file (its name
// without the extension) with a text column for each name of the header
// row. The delimiter is the one the header line uses most (comma,
// semicolon or tab); the text is UTF-8 when it says so with a byte-order
// mark or simply is, Windows-1252 otherwise. An empty field is the empty
// text; a field that a short record leaves out is null. The CSV file itself
// is only ever read.
class CsvDatabase
{
public:
    ~CsvDatabase();
    CsvDatabase(const CsvDatabase &) = delete;
    CsvDatabase &operator=(const CsvDatabase &) = delete;

    // The file copied, or nothing with a message for the operator in error:
    // "Arxiu CSV mal format a la línia N: ..." for a malformed file (a quote
    // left open, text after a closing quote, a record with more fields than
    // the header, a header field without a name or with a name already used,
    // or text that its byte-order mark says is UTF-8 and is not).
    static std::unique_ptr<CsvDatabase> load(const QString &csvPath, QString &error);

    // The "file:" URI that opens the copy from this process, through any
    // connection to the same SQLite library.
    QString uri() const { return m_uri; }

private:
    struct CloseDatabase {
        void operator()(sqlite3 *db) const;
    };
    using Database = std::unique_ptr<sqlite3, CloseDatabase>;

    CsvDatabase(Database db, QString uri);
    static std::unique_ptr<CsvDatabase> copy(const QString &csvPath, QString &error);

    // The copy lasts while a connection to it stays open.
    Database m_db;
    QString m_uri;
};

} // namespace tramelo
