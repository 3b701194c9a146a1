// Reading a send journal a row at a time: what it holds is only the set of
// addresses sent since the last reset, however long the file.
#include "send_journal.h"
#include "send_journal_rows.h"

#include <QFile>
#include <QFileInfo>

namespace tramelo {

QString addressKey(const QString &address)
{
    return address.trimmed().toCaseFolded();
}

JournalReading readJournal(const QString &path)
{
    JournalReading reading;
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
        const auto fields = journalFieldsOf(row);
        if (!fields)
            continue;
        const QByteArray &result = (*fields)[3];
        if (result == journal_format::sentResult)
            reading.sentAddresses.insert(addressKey(QString::fromUtf8((*fields)[2])));
        else if (result.isEmpty() && (*fields)[4] == journal_format::marksClearedStage)
            reading.sentAddresses.clear();
    }
    return reading;
}

} // namespace tramelo
