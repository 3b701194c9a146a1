#include "csv_database.h"

#include "csv_records.h"
#include "text_charset.h"
#include "windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <optional>
#include <system_error>

namespace tramelo {
namespace {

constexpr QByteArrayView byteOrderMark = "\xEF\xBB\xBF";
// Enough for any header line a delimiter is told from.
constexpr qint64 delimiterReach = 64 * 1024;

struct FinalizeStatement {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

enum class Encoding { Utf8, Windows1252 };

struct Source {
    QIODevice &file;
    char delimiter;
    Encoding encoding;
    bool markedUtf8; // by a byte-order mark
};

enum class Outcome { Done, NotUtf8, Failed };

QString malformed(qint64 line, const QString &reason)
{
    return QStringLiteral("Arxiu CSV mal format a la línia %1: %2").arg(QString::number(line), reason);
}

QString sqliteFailure(sqlite3 *db)
{
    return QStringLiteral("No s'ha pogut preparar l'arxiu CSV: ") + QString::fromUtf8(sqlite3_errmsg(db));
}

bool execute(sqlite3 *db, const char *sql, QString &error)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    error = sqliteFailure(db);
    return false;
}

QString quotedName(QString name)
{
    return u'"' + name.replace(u'"', QLatin1String("\"\"")) + u'"';
}

// SQLite tells names apart without regard to the case of ASCII letters only.
QString sqliteFolded(QString name)
{
    for (QChar &c : name) {
        if (c.unicode() < 0x80)
            c = c.toLower();
    }
    return name;
}

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A field as the UTF-8 text SQLite keeps: the field itself, or its
// conversion in converted; nothing when it is not the UTF-8 it was taken for.
std::optional<QByteArrayView> storedText(QByteArrayView field, Encoding encoding, QByteArray &converted)
{
    if (isAscii(field))
        return field;
    if (encoding == Encoding::Utf8)
        return isStrictUtf8(field) ? std::optional<QByteArrayView>(field) : std::nullopt;
    converted = fromWindows1252(field).toUtf8();
    return QByteArrayView(converted);
}

// Text that is not the UTF-8 it was taken for: the file is Windows-1252,
// unless its byte-order mark says UTF-8.
Outcome notUtf8(const Source &source, qint64 line, QString &error)
{
    if (!source.markedUtf8)
        return Outcome::NotUtf8;
    error = malformed(line, QStringLiteral("el text no és UTF-8"));
    return Outcome::Failed;
}

// The field names of the header row, or the outcome that stops the import.
std::optional<QStringList> headerNames(CsvRecordReader &reader, const Source &source, Outcome &outcome, QString &error)
{
    outcome = Outcome::Failed;
    switch (reader.next()) {
    case CsvRecordReader::Read::End:
        error = malformed(reader.line(), QStringLiteral("no hi ha la fila de capçalera amb els noms dels camps"));
        return std::nullopt;
    case CsvRecordReader::Read::Failed:
        error = malformed(reader.problem().line, reader.problem().reason);
        return std::nullopt;
    case CsvRecordReader::Read::Record:
        break;
    }
    QStringList names;
    QSet<QString> folded;
    QByteArray converted;
    for (qsizetype i = 0; i < reader.fieldCount(); ++i) {
        const std::optional<QByteArrayView> text = storedText(reader.field(i), source.encoding, converted);
        if (!text) {
            outcome = notUtf8(source, reader.line(), error);
            return std::nullopt;
        }
        const QString name = QString::fromUtf8(*text);
        QString reason;
        if (name.isEmpty())
            reason = QStringLiteral("el camp %1 de la capçalera no té nom").arg(i + 1);
        else if (folded.contains(sqliteFolded(name)))
            reason = QStringLiteral("el nom de camp «%1» es repeteix").arg(name);
        if (!reason.isEmpty()) {
            error = malformed(reader.line(), reason);
            return std::nullopt;
        }
        folded.insert(sqliteFolded(name));
        names.append(name);
    }
    return names;
}

Statement prepare(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr);
    return Statement(statement);
}

// Every record of the file into a new table, inside the caller's transaction.
Outcome importRecords(sqlite3 *db, const Source &source, const QString &table, QString &error)
{
    CsvRecordReader reader(source.file, source.delimiter);
    Outcome outcome = Outcome::Failed;
    const std::optional<QStringList> names = headerNames(reader, source, outcome, error);
    if (!names)
        return outcome;

    QStringList columns;
    QStringList parameters;
    for (const QString &name : *names) {
        columns.append(quotedName(name) + QStringLiteral(" TEXT"));
        parameters.append(QStringLiteral("?"));
    }
    const Statement create =
        prepare(db, QStringLiteral("CREATE TABLE %1 (%2)").arg(quotedName(table), columns.join(QLatin1String(", "))));
    if (!create || sqlite3_step(create.get()) != SQLITE_DONE) {
        error = sqliteFailure(db);
        return Outcome::Failed;
    }
    const Statement insert =
        prepare(db, QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quotedName(table), parameters.join(u',')));
    if (!insert) {
        error = sqliteFailure(db);
        return Outcome::Failed;
    }

    QByteArray converted;
    for (;;) {
        switch (reader.next()) {
        case CsvRecordReader::Read::End:
            return Outcome::Done;
        case CsvRecordReader::Read::Failed:
            error = malformed(reader.problem().line, reader.problem().reason);
            return Outcome::Failed;
        case CsvRecordReader::Read::Record:
            break;
        }
        if (reader.fieldCount() > names->size()) {
            error = malformed(reader.line(), QStringLiteral("té %1 camps i la capçalera en té %2")
                                                 .arg(QString::number(reader.fieldCount()), QString::number(names->size())));
            return Outcome::Failed;
        }
        for (int i = 0; i < names->size(); ++i) {
            if (i >= reader.fieldCount()) {
                sqlite3_bind_null(insert.get(), i + 1);
                continue;
            }
            const std::optional<QByteArrayView> text = storedText(reader.field(i), source.encoding, converted);
            if (!text)
                return notUtf8(source, reader.line(), error);
            // The field's bytes stay put until the next record; a conversion
            // does not. No text at all would be null.
            const bool copy = text->data() == converted.constData();
            sqlite3_bind_text(insert.get(), i + 1, text->isEmpty() ? "" : text->data(), int(text->size()),
                              copy ? SQLITE_TRANSIENT : SQLITE_STATIC);
        }
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            error = sqliteFailure(db);
            return Outcome::Failed;
        }
        sqlite3_reset(insert.get());
    }
}

// A name no other copy in this process has. SQLite's "memdb" files are
// shared between the connections of one process when the name starts with
// "/"; nothing outside the process can open them.
QString uniqueMemoryUri()
{
    static std::atomic<quint64> copies{0};
    return QStringLiteral("file:/tramelo-csv-%1?vfs=memdb").arg(++copies);
}

} // namespace

void CsvDatabase::CloseDatabase::operator()(sqlite3 *db) const
{
    sqlite3_close(db);
}

CsvDatabase::CsvDatabase(Database db, QString uri)
    : m_db(std::move(db))
    , m_uri(std::move(uri))
{
}

CsvDatabase::~CsvDatabase() = default;

std::unique_ptr<CsvDatabase> CsvDatabase::load(const QString &csvPath, QString &error)
{
    // Copied on a thread of its own, whose allocations glibc takes from a
    // heap of their own: made on the caller's heap, the copy's many
    // short-lived blocks left it so that the driver's per-call work on every
    // statement of the connection was 15-20 % slower afterwards.
    std::future<std::unique_ptr<CsvDatabase>> copied;
    try {
        copied = std::async(std::launch::async, [&] { return copy(csvPath, error); });
    } catch (const std::system_error &) {
        return copy(csvPath, error); // no thread to be had: here, then
    }
    return copied.get();
}

std::unique_ptr<CsvDatabase> CsvDatabase::copy(const QString &csvPath, QString &error)
{
    QFile csv(csvPath);
    if (!csv.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("No s'ha pogut llegir l'arxiu CSV %1: %2").arg(csvPath, csv.errorString());
        return nullptr;
    }
    const bool markedUtf8 = csv.peek(byteOrderMark.size()) == byteOrderMark;
    const qint64 textStart = markedUtf8 ? byteOrderMark.size() : 0;
    const auto rewind = [&] {
        if (csv.seek(textStart))
            return true;
        error = QStringLiteral("No s'ha pogut llegir l'arxiu CSV %1: %2").arg(csvPath, csv.errorString());
        return false;
    };
    if (!rewind())
        return nullptr;
    const char delimiter = csvDelimiterOf(csv.peek(delimiterReach));

    // In memory: nothing written to the disk, nothing left behind. This
    // connection writes it alone, before any other opens it, and only keeps
    // it alive afterwards: SQLite need not guard its calls against other
    // threads, the one that ends it included.
    const QString uri = uniqueMemoryUri();
    sqlite3 *opened = nullptr;
    const int rc = sqlite3_open_v2(uri.toUtf8().constData(), &opened,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    Database db(opened);
    if (rc != SQLITE_OK) {
        error = opened ? sqliteFailure(opened) : QStringLiteral("No s'ha pogut preparar l'arxiu CSV");
        return nullptr;
    }

    // A copy with nothing to recover after a crash: its journal, there only
    // for the rollback before a second reading as Windows-1252, in memory.
    // Its pages are in the store already: a small cache, kept while the
    // copy lives.
    if (!execute(db.get(), "PRAGMA cache_size=-256; PRAGMA journal_mode=MEMORY; BEGIN", error))
        return nullptr;
    const QString table = QFileInfo(csvPath).completeBaseName();
    Outcome outcome = importRecords(db.get(), {csv, delimiter, Encoding::Utf8, markedUtf8}, table, error);
    if (outcome == Outcome::NotUtf8) {
        // Not UTF-8 after all: the whole file again, as Windows-1252.
        if (!execute(db.get(), "ROLLBACK; BEGIN", error) || !rewind())
            return nullptr;
        outcome = importRecords(db.get(), {csv, delimiter, Encoding::Windows1252, false}, table, error);
    }
    if (outcome != Outcome::Done || !execute(db.get(), "COMMIT", error))
        return nullptr;
    return std::unique_ptr<CsvDatabase>(new CsvDatabase(std::move(db), uri));
}

} // namespace tramelo
