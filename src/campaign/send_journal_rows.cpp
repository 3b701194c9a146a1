#include "send_journal_rows.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <map>

namespace tramelo {
namespace {

const QByteArray lineEnd = QByteArrayLiteral("\r\n");

JournalRow rowOf(const JournalFields &fields, QByteArrayView line)
{
    const auto text = [&fields](int column) { return QString::fromUtf8(fields[std::size_t(column)]); };
    return {text(0), fields[1].toInt(), text(2), text(3), text(4), text(5), text(6), line.toByteArray()};
}

} // namespace

std::optional<JournalFields> journalFieldsOf(QByteArrayView line)
{
    JournalFields fields;
    int index = 0;
    qsizetype at = 0;
    for (;;) {
        if (index == journal_format::columnCount)
            return std::nullopt;
        QByteArray &field = fields[std::size_t(index)];
        if (at < line.size() && line[at] == '"') {
            ++at;
            for (;;) {
                if (at >= line.size())
                    return std::nullopt; // a quote never closed: a row cut short
                if (line[at] == '"') {
                    if (at + 1 < line.size() && line[at + 1] == '"') {
                        field += '"';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                field += line[at++];
            }
        } else {
            const qsizetype comma = line.indexOf(',', at);
            const qsizetype end = comma < 0 ? line.size() : comma;
            field = line.sliced(at, end - at).toByteArray();
            at = end;
        }
        ++index;
        if (at == line.size())
            break;
        if (line[at] != ',')
            return std::nullopt;
        ++at;
    }
    if (index != journal_format::columnCount)
        return std::nullopt;
    return fields;
}

QByteArrayView withoutLineEnd(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line;
}

bool JournalRow::sent() const
{
    return result == QLatin1String(journal_format::sentResult);
}

bool JournalRow::failed() const
{
    return result == QLatin1String(journal_format::failedResult);
}

bool JournalRow::inDoubt() const
{
    return result == QLatin1String(journal_format::inDoubtResult);
}

bool JournalRow::marksCleared() const
{
    return result.isEmpty() && stage == QLatin1String(journal_format::marksClearedStage);
}

bool JournalRow::namesCampaign() const
{
    return result.isEmpty() && stage == QLatin1String(journal_format::campaignStage);
}

JournalTail::Reading JournalTail::readAppended()
{
    // Anything but a reading replaces the rows returned before, with none.
    Reading reading;
    reading.fromStart = true;
    const auto unreadable = [this, &reading](const QString &reason) {
        m_offset = 0;
        reading.status = Status::Unreadable;
        reading.reason = reason;
        reading.rows.clear();
        return reading;
    };
    if (!QFileInfo::exists(m_path)) {
        m_offset = 0;
        return reading;
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString());
    if (file.size() < m_offset)
        m_offset = 0;
    reading.status = Status::Read;
    reading.fromStart = m_offset == 0;
    if (!file.seek(m_offset))
        return unreadable(file.errorString());
    QByteArray buffer(maxJournalRowBytes + 1, Qt::Uninitialized);
    const auto readLine = [&file, &buffer] {
        const qint64 length = file.readLine(buffer.data(), buffer.size());
        return QByteArrayView(buffer.constData(), qMax<qint64>(length, 0));
    };
    while (!file.atEnd()) {
        const QByteArrayView line = readLine();
        if (line.isEmpty())
            return unreadable(file.errorString());
        if (!line.endsWith('\n')) {
            if (file.atEnd())
                break; // still being written: read again next time
            if (m_offset == 0)
                return unreadable(QString::fromUtf16(notAJournalReason));
            // Overlong: no row, and the rest of it goes with it.
            bool ended = false;
            while (!ended && !file.atEnd())
                ended = readLine().endsWith('\n');
            if (!ended)
                break;
            m_offset = file.pos();
            continue;
        }
        const QByteArrayView row = withoutLineEnd(line);
        if (m_offset == 0) {
            if (row != QByteArrayView(journal_format::header))
                return unreadable(QString::fromUtf16(notAJournalReason));
        } else if (const std::optional<JournalFields> fields = journalFieldsOf(row)) {
            reading.rows.append(rowOf(*fields, row));
        }
        m_offset = file.pos();
    }
    return reading;
}

QList<JournalRow> unsentRows(const QList<JournalRow> &rows)
{
    // For each address since the last reset: sent, or its last failure.
    QHash<QString, qsizetype> lastFailure;
    QSet<QString> sent;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const JournalRow &row = rows[i];
        if (row.marksCleared()) {
            lastFailure.clear();
            sent.clear();
        } else if (row.sent()) {
            sent.insert(addressKey(row.address));
        } else if (row.failed()) {
            lastFailure.insert(addressKey(row.address), i);
        } else if (row.inDoubt()) {
            lastFailure.remove(addressKey(row.address));
        }
    }
    std::map<qsizetype, JournalRow> unsent;
    for (auto failure = lastFailure.cbegin(); failure != lastFailure.cend(); ++failure) {
        if (!sent.contains(failure.key()))
            unsent.emplace(failure.value(), rows[failure.value()]);
    }
    QList<JournalRow> result;
    result.reserve(qsizetype(unsent.size()));
    for (auto &[index, row] : unsent)
        result.append(std::move(row));
    return result;
}

QByteArray journalOf(const QList<JournalRow> &rows)
{
    QByteArray bytes = QByteArray(journal_format::header) + lineEnd;
    for (const JournalRow &row : rows)
        bytes += row.line + lineEnd;
    return bytes;
}

} // namespace tramelo
