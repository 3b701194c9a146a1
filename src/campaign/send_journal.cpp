#include "send_journal.h"

#include "file_sync.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tramelo {
namespace {

const QByteArray lineEnd = QByteArrayLiteral("\r\n");

// RFC 4180: a field with a comma or a quote is quoted, its quotes doubled.
// Line breaks never reach a field (oneLine), so every CR LF ends a row.
void appendField(QByteArray &row, const QString &text)
{
    const QByteArray bytes = oneLine(text).toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"')) {
        row += bytes;
        return;
    }
    row += '"';
    for (const char c : bytes) {
        if (c == '"')
            row += '"';
        row += c;
    }
    row += '"';
}

QByteArray rowOf(const QString &time, const QStringList &fields)
{
    QByteArray row;
    appendField(row, time);
    for (const QString &field : fields) {
        row += ',';
        appendField(row, field);
    }
    return row + lineEnd;
}

// Local time with its offset from UTC, as ISO 8601 writes it:
// 2026-12-06T13:57:24+01:00. Straight from the C library, which does not
// look the time zone up again for every group.
QString timeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!::localtime_r(&now, &local))
        return {};
    const int offset = int(local.tm_gmtoff / 60);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  std::abs(offset) / 60, std::abs(offset) % 60);
    return QString::fromLatin1(text);
}

// The row that names the campaign: no row, address or result, "campanya"
// as the stage and the identifier as the reply.
QStringList campaignFields(const QString &campaignId)
{
    return {QString(), QString(), QString(), QString::fromUtf8(journal_format::campaignStage), campaignId, QString()};
}

bool readAt(int descriptor, char *buffer, qsizetype size, off_t offset)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t got = ::pread(descriptor, buffer + done, size_t(size - done), offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

} // namespace

SendJournal::~SendJournal()
{
    close();
}

QString SendJournal::pathFor(const QString &projectPath)
{
    static const QString suffix = QStringLiteral(".pcm");
    const QString stem = projectPath.endsWith(suffix, Qt::CaseSensitive) ? projectPath.chopped(suffix.size())
                                                                         : projectPath;
    return stem + QStringLiteral(".enviaments.csv");
}

std::optional<QString> SendJournal::open(const QString &path, const QString &campaignId)
{
    close();
    m_path = path;
    const auto cannotOpen = [&path](const QString &reason) {
        return QStringLiteral("No s'ha pogut obrir el registre d'enviaments %1: %2").arg(path, reason);
    };
    // Readable by its owner only, as the project file: it lists the recipients.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC,
                                  S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        return cannotOpen(systemErrorText());
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return cannotOpen(QStringLiteral("no és un arxiu"));
    }
    m_descriptor = descriptor;

    const QByteArray header = QByteArray(journal_format::header) + lineEnd;
    if (status.st_size == 0) {
        const QByteArray first = campaignId.isEmpty() ? header : header + rowOf(timeNow(), campaignFields(campaignId));
        if (const std::optional<QString> failed = writeAll(first))
            return failed;
        syncFolderOf(path);
        return makeDurable();
    }
    QByteArray first(header.size(), '\0');
    if (status.st_size < header.size() || !readAt(descriptor, first.data(), first.size(), 0) || first != header) {
        close();
        return cannotOpen(QStringLiteral("la primera línia no és la capçalera d'un registre d'enviaments"));
    }
    // A run that ended in the middle of a row leaves it cut: it stays a row
    // of its own, which nobody reads as one.
    char last = '\0';
    if (!readAt(descriptor, &last, 1, status.st_size - 1)) {
        close();
        return cannotOpen(systemErrorText());
    }
    if (last != '\n') {
        if (const std::optional<QString> failed = writeAll(lineEnd))
            return failed;
    }
    return std::nullopt;
}

void SendJournal::close()
{
    // Never a sync on a descriptor closed (or reused) under it.
    m_sync.wait();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_appended = m_durable = m_syncing = 0;
}

std::optional<QString> SendJournal::append(const QList<RowOutcome> &rows)
{
    if (rows.isEmpty())
        return std::nullopt;
    const QString time = timeNow();
    QByteArray bytes;
    for (const RowOutcome &row : rows) {
        const char *result = row.sent ? journal_format::sentResult
                                      : row.inDoubt ? journal_format::inDoubtResult : journal_format::failedResult;
        bytes += rowOf(time, {QString::number(row.row), row.address, QLatin1String(result),
                              row.sent ? QString() : stageText(row.stage), row.reply, row.messageId});
    }
    return writeAll(bytes);
}

std::optional<QString> SendJournal::writeAll(const QByteArray &bytes)
{
    // One write for the whole group: another process appending to the same
    // journal never cuts into it.
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(m_descriptor, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return failure(systemErrorText());
        done += written;
    }
    ++m_appended;
    return std::nullopt;
}

std::optional<QString> SendJournal::makeDurable()
{
    m_sync.wait();
    if (::fdatasync(m_descriptor) != 0)
        return failure(systemErrorText());
    m_durable = m_appended;
    return std::nullopt;
}

void SendJournal::startMakingDurable()
{
    m_syncing = m_appended;
    m_sync.start(m_descriptor);
}

std::optional<QString> SendJournal::finishMakingDurable()
{
    if (const std::optional<int> error = m_sync.wait()) {
        errno = *error;
        return failure(systemErrorText());
    }
    m_durable = std::max(m_durable, m_syncing);
    return std::nullopt;
}

QString SendJournal::failure(const QString &reason) const
{
    return QStringLiteral("No s'ha pogut escriure el registre d'enviaments %1: %2").arg(m_path, reason);
}

std::optional<QString> SendJournal::recordMarksCleared(const QString &path)
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    return appendRecord(path, {QString(), QString(), QString(), QString::fromUtf8(journal_format::marksClearedStage),
                               QString(), QString()});
}

std::optional<QString> SendJournal::recordCampaign(const QString &path, const QString &campaignId)
{
    return appendRecord(path, campaignFields(campaignId));
}

std::optional<QString> SendJournal::appendRecord(const QString &path, const QStringList &fields)
{
    SendJournal journal;
    if (std::optional<QString> failed = journal.open(path))
        return failed;
    if (std::optional<QString> failed = journal.writeAll(rowOf(timeNow(), fields)))
        return failed;
    return journal.makeDurable();
}

} // namespace tramelo
