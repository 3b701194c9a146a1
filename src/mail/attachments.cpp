// The files of a message: linking the ones an HTML body refers to, their part
// headers or uuencode frames, and their bytes fed to the socket in chunks at a
// pace the socket can follow. A file is never read whole into memory.
#include "clsEnviarCorreu.h"

#include "content_encoders.h"
#include "header_encoding.h"

#include <QFile>
#include <QMimeDatabase>
#include <QTcpSocket>

#include <algorithm>

namespace tramelo {
namespace {

constexpr qint64 base64PieceBytes = 11400; // 200 lines of 57 bytes
constexpr qint64 uuencodeLineBytes = 45;
constexpr qint64 uuencodePieceBytes = 200 * uuencodeLineBytes;
// What may stay queued on the socket once a file is written.
constexpr qint64 fileQueueLimit = 4096;

qsizetype firstQuoteFrom(const QString &text, qsizetype from)
{
    const qsizetype doubleQuote = text.indexOf(u'"', from);
    const qsizetype singleQuote = text.indexOf(u'\'', from);
    if (doubleQuote < 0 || singleQuote < 0)
        return std::max(doubleQuote, singleQuote);
    return std::min(doubleQuote, singleQuote);
}

// Uuencoded lines of 45 bytes (the last one shorter), each ended by CR LF.
QByteArray uuencodedLines(QByteArrayView bytes)
{
    QByteArray lines;
    for (qsizetype at = 0; at < bytes.size(); at += uuencodeLineBytes)
        lines += modCorreu::uuencodeBytesLine(bytes.sliced(at, std::min(uuencodeLineBytes, bytes.size() - at))) + "\r\n";
    return lines;
}

} // namespace

bool clsEnviarCorreu::LinkEmbeddedFiles()
{
    if (!m_AsHTML)
        return false;
    bool linked = false;
    for (qsizetype i = 0; i < m_attachmentNames.size(); ++i) {
        const QString name = m_attachmentNames[i];
        if (name.isEmpty())
            continue;
        qsizetype occurrence = m_Message.indexOf(name, 0, Qt::CaseInsensitive);
        while (occurrence >= 0) {
            qsizetype searchFrom = occurrence + 1;
            const qsizetype tagStart = m_Message.lastIndexOf(u'<', occurrence);
            const qsizetype tagEnd = tagStart >= 0 ? m_Message.indexOf(u'>', tagStart) : -1;
            const bool insideTag = tagStart >= 0 && tagEnd >= 0 && tagStart < occurrence && occurrence < tagEnd;
            const qsizetype equals = insideTag ? m_Message.lastIndexOf(u'=', occurrence) : -1;
            // Without an "=" before it there is no attribute to rewrite.
            if (equals >= 0) {
                // A single-quoted value is as valid as a double-quoted one.
                const qsizetype quote = firstQuoteFrom(m_Message, equals);
                const qsizetype linkStart = (quote >= 0 && quote < occurrence) ? quote : equals;
                const QString link = QStringLiteral("cid:") + name;
                m_Message = m_Message.left(linkStart + 1) + link + m_Message.mid(occurrence + name.size());
                m_attachmentEmbedded[i] = true;
                linked = true;
                searchFrom = linkStart + link.size();
            }
            occurrence = m_Message.indexOf(name, searchFrom, Qt::CaseInsensitive);
        }
    }
    return linked;
}

QString clsEnviarCorreu::GetContentType(const QString &strFile, const QString &strDefault) const
{
    const qsizetype dot = strFile.lastIndexOf(u'.');
    if (dot < 0)
        return strDefault;
    const QString extension = strFile.mid(dot);
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("file") + extension,
                                                           QMimeDatabase::MatchExtension);
    return type.isValid() && !type.isDefault() ? type.name() : strDefault;
}

bool clsEnviarCorreu::sendFiles(bool related)
{
    for (qsizetype i = 0; i < m_attachmentPaths.size(); ++i) {
        const QString name = withoutLineBreaks(m_attachmentNames[i]);
        const bool embedded = m_attachmentEmbedded[i];
        Q_EMIT Status((embedded ? QStringLiteral("Sending Embedded File, ") : QStringLiteral("Sending Attachment, "))
                      + name + QStringLiteral("..."));
        if (m_EncodeType == 0) {
            QStringList headers = {
                QStringLiteral("--") + m_boundary,
                QStringLiteral("Content-Type: ") + GetContentType(name, QStringLiteral("application/octet-stream")) + u';',
                QStringLiteral("\tname=\"") + name + u'"',
                QStringLiteral("Content-Transfer-Encoding: base64"),
                QStringLiteral("Content-Disposition: attachment;"),
                QStringLiteral("\tfilename=\"") + name + u'"',
            };
            if (embedded && related)
                headers << QStringLiteral("Content-ID: <") + name + u'>';
            headers << QString();
            for (const QString &line : std::as_const(headers)) {
                if (!writeDataLine(line))
                    return false;
            }
            EncodeAndSendFile(m_attachmentPaths[i], 0);
            if (m_flags.abort || !writeDataLine(QString()))
                return false;
        } else {
            if (!writeDataLine(QStringLiteral("begin 600 ") + name))
                return false;
            EncodeAndSendFile(m_attachmentPaths[i], 1);
            if (m_flags.abort || !writeDataLine(QStringLiteral("end")))
                return false;
        }
        if (!waitForSocketQueue(fileQueueLimit))
            return false;
    }
    return true;
}

void clsEnviarCorreu::EncodeAndSendFile(const QString &strFile, long Encode)
{
    QFile file(strFile);
    const auto fail = [&](const QString &description) {
        AddError(description);
        ReportFailure();
    };
    if (!file.open(QIODevice::ReadOnly)) {
        fail(file.errorString());
        return;
    }
    qint64 remaining = file.size();
    const qint64 pieceBytes = Encode == 0 ? base64PieceBytes : uuencodePieceBytes;
    // A failure reported meanwhile (a server's reply, a time-out) ends the file.
    while ((Encode == 0 || Encode == 1) && remaining > 0 && !m_flags.abort) {
        const qint64 n = std::min(pieceBytes, remaining);
        const QByteArray bytes = file.read(n);
        if (bytes.size() != n) {
            // A file that shrank meanwhile leaves no error of the system's.
            fail(file.error() == QFileDevice::NoError ? QStringLiteral("The file could not be read") : file.errorString());
            return;
        }
        if (socketState() != 7) {
            fail(QStringLiteral("Socket not Open"));
            return;
        }
        if (!writeMessageData(Encode == 0 ? modCorreu::encodeBase64Lines(bytes) : uuencodedLines(bytes)))
            return;
        remaining -= n;
    }
}

} // namespace tramelo
