// Reading a send journal a row at a time: what it holds is only the set of
// addresses sent since the last reset, those in doubt, and the campaigns the
// journal names, however long the file.
#include "send_journal.h"
#include "send_journal_rows.h"

#include <QFile>
#include <QFileInfo>

namespace tramelo {
namespace {

// A journal names one campaign; a few are kept to say that it names others.
constexpr qsizetype maxCampaignsKept = 4;

enum Column { Time, Row, Address, Result, Stage, Reply, MessageId };

// What one row of the journal adds to the reading.
void take(JournalReading &reading, const JournalFields &fields)
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
        reading.reason = QString::fromUtf16(notAJournalReason);
        return reading;
    };
    bool first = true;
    QByteArray buffer(maxJournalRowBytes + 1, Qt::Uninitialized);
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
        if (const auto fields = journalFieldsOf(row))
            take(reading, *fields);
    }
    return reading;
}

} // namespace tramelo
