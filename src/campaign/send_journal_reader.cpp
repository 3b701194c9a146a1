// Reading a send journal a row at a time: what it holds is only the set of
// addresses sent since the last reset, those in doubt, and the campaigns the
// journal names, however long the file.
#include "send_journal.h"

#include <QFile>
#include <QFileInfo>

#include <array>

namespace tramelo {
namespace {

// Far longer than any row the program writes; a longer line is no row.
constexpr qint64 maxRowBytes = 64 * 1024;
// A journal names one campaign; a few are kept to say that it names others.
constexpr qsizetype maxCampaignsKept = 4;

enum Column { Time, Row, Address, Result, Stage, Reply, MessageId };

// What one row of the journal adds to the reading.
void take(JournalReading &reading, const std::array<QByteArray, journal_format::columnCount> &fields)
{
    const QByteArray &result = fields[Result];
    const QByteArray &stage = fields[Stage];
    if (result.isEmpty() && stage == journal_format::marksClearedStage) {
        reading.sentAddresses.clear();
        reading.inDoubt.clear();
        return;
    }
    if (result.isEmpty() && stage == journal_format::campaignStage) {
        const QString campaign = QString::fromUtf8(fields[Reply]);
        if (!reading.campaigns.contains(campaign) && reading.campaigns.size() < maxCampaignsKept)
            reading.campaigns << campaign;
        return;
    }
    const QString key = addressKey(QString::fromUtf8(fields[Address]));
    if (result == journal_format::sentResult) {
        reading.sentAddresses.insert(key);
        reading.inDoubt.remove(key);
    } else if (result == journal_format::inDoubtResult) {
        if (!reading.sentAddresses.contains(key))
            reading.inDoubt.insert(key, QString::fromUtf8(stage + ": " + fields[Reply]));
    } else if (result == journal_format::failedResult) {
        reading.inDoubt.remove(key);
    }
}

// The fields of one row without its line end (RFC 4180, no line breaks
// inside fields); nothing when it is not a row of the journal's shape.
std::optional<std::array<QByteArray, journal_format::columnCount>> fieldsOf(QByteArrayView line)
{
    std::array<QByteArray, journal_format::columnCount> fields;
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

} // namespace

QString addressKey(const QString &address)
{
    return address.trimmed().toCaseFolded();
}

JournalReading readJournal(const QString &path)
{
    JournalReading reading;
    reading.path = path;
    if (!QFileInfo::exists(path))
        return reading;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reading.status = JournalReading::Status::Unreadable;
        reading.reason = file.errorString();
        return reading;
    }
    reading.status = JournalReading::Status::Read;
    const auto notAJournal = [&reading] {
        reading.status = JournalReading::Status::Unreadable;
        reading.reason = QStringLiteral("la primera línia no és la capçalera d'un registre d'enviaments");
        return reading;
    };
    bool first = true;
    QByteArray buffer(maxRowBytes + 1, Qt::Uninitialized);
    const auto readLine = [&file, &buffer] {
        const qint64 length = file.readLine(buffer.data(), buffer.size());
        return QByteArrayView(buffer.constData(), qMax<qint64>(length, 0));
    };
    while (!file.atEnd()) {
        const QByteArrayView line = readLine();
        if (line.isEmpty() && file.error() != QFileDevice::NoError) {
            reading.status = JournalReading::Status::Unreadable;
            reading.reason = file.errorString();
            return reading;
        }
        const bool overlong = !line.endsWith('\n') && !file.atEnd();
        if (overlong) {
            // The rest of the line goes with it.
            while (!file.atEnd() && !readLine().endsWith('\n')) {
            }
        }
        const QByteArrayView row = withoutLineEnd(line);
        if (std::exchange(first, false)) {
            if (overlong || row != QByteArrayView(journal_format::header))
                return notAJournal();
            continue;
        }
        if (overlong)
            continue;
        if (const auto fields = fieldsOf(row))
            take(reading, *fields);
    }
    return reading;
}

} // namespace tramelo
