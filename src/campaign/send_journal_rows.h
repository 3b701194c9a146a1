#pragma once

#include "send_journal.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace tramelo {

// The rows of a send journal as they are written (docs/send-journal.md):
// the one home of their parsing, for the reader of what has been sent and
// for the window that shows every attempt.

// Far longer than any row the program writes; a longer line is no row.
inline constexpr qint64 maxJournalRowBytes = 64 * 1024;
// Why a file whose first line is not the header is no journal.
inline constexpr char16_t notAJournalReason[] = u"la primera línia no és la capçalera d'un registre d'enviaments";

using JournalFields = std::array<QByteArray, journal_format::columnCount>;

// The fields of one row without its line end (RFC 4180, no line breaks
// inside fields); nothing when it is not a row of the journal's shape (a
// row cut short by a run that ended in its middle).
std::optional<JournalFields> journalFieldsOf(QByteArrayView line);
QByteArrayView withoutLineEnd(QByteArrayView line);

// One row, as the operator reads it, with the bytes it was read from.
struct JournalRow {
    QString time;
    int row = 0; // 0 for the reset row
    QString address;
    QString result; // "S", "N", "D", or empty for the reset and campaign rows
    QString stage;
    QString reply;
    QString messageId;
    QByteArray line; // without its line end

    bool sent() const;
    bool failed() const;
    bool inDoubt() const;
    bool marksCleared() const;
    // The row that names the campaign the journal belongs to: no attempt.
    bool namesCampaign() const;
};

// Reads a journal as it grows: each call returns the rows appended since
// the last one, reading only those bytes; a row still being written is left
// for the next call. A file cut shorter than what was read (or gone) is read
// again from its start.
class JournalTail
{
public:
    enum class Status { Absent, Read, Unreadable };
    struct Reading {
        Status status = Status::Absent;
        QString reason;         // why it cannot be read
        bool fromStart = false; // the rows replace every row returned before
        QList<JournalRow> rows;
    };

    explicit JournalTail(const QString &path) : m_path(path) {}
    QString path() const { return m_path; }
    Reading readAppended();

private:
    QString m_path;
    qint64 m_offset = 0; // the end of the last whole line read
};

// The recipients the journal does not record as sent since its last reset
// row and whose last attempt failed (not those in doubt, who may have the
// message): that attempt's row for each, in the order of those attempts.
QList<JournalRow> unsentRows(const QList<JournalRow> &rows);

// A journal of those rows: its header, then each row as it was read.
QByteArray journalOf(const QList<JournalRow> &rows);

} // namespace tramelo
