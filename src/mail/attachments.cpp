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
#include <optional>

namespace tramelo {
namespace {

constexpr qint64 base64PieceBytes = 11400; // 200 lines of 57 bytes
constexpr qint64 uuencodeLineBytes = 45;
constexpr qint64 uuencodePieceBytes = 200 * uuencodeLineBytes;
// What may stay queued on the socket once a file is written.
constexpr qint64 fileQueueLimit = 4096;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

// Where a reference to a file that ends at the occurrence of its name starts:
// at the value of an attribute of the tag that holds the name (in a style
// value, inside its url(...)). None for a name in the text, in a comment, or
// in a tag with no value that reaches it.
std::optional<qsizetype> linkStart(const QString &html, qsizetype occurrence)
{
    const qsizetype tagStart = html.lastIndexOf(u'<', occurrence);
    if (tagStart < 0 || html.mid(tagStart + 1, 1) == u"!")
        return std::nullopt;
    const qsizetype tagEnd = html.indexOf(u'>', tagStart);
    const qsizetype equals = html.lastIndexOf(u'=', occurrence);
    if (tagEnd < occurrence || equals < tagStart)
        return std::nullopt;
    qsizetype start = equals + 1;
    while (start < occurrence && isBlank(html[start]))
        ++start;
    const QStringView value = QStringView(html).sliced(start, occurrence - start);
    if (!value.isEmpty() && isQuote(value.front())) {
        if (value.sliced(1).contains(value.front()))
            return std::nullopt; // the quoted value ended before the name
        ++start;
    } else if (std::any_of(value.begin(), value.end(), isBlank)) {
        return std::nullopt; // an unquoted value ends at a blank
    }
    const qsizetype url = html.lastIndexOf(QLatin1String("url("), occurrence, Qt::CaseInsensitive);
    if (url >= start) {
        start = url + 4;
        while (start < occurrence && (isBlank(html[start]) || isQuote(html[start])))
            ++start;
    }
    return start;
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
            if (const std::optional<qsizetype> start = linkStart(m_Message, occurrence)) {
                const QString link = QStringLiteral("cid:") + contentId(name);
                m_Message = m_Message.left(*start) + link + m_Message.mid(occurrence + name.size());
                m_attachmentEmbedded[i] = true;
                linked = true;
                searchFrom = *start + link.size();
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
                u'\t' + nameParameter(name),
                QStringLiteral("Content-Transfer-Encoding: base64"),
                QStringLiteral("Content-Disposition: attachment;"),
                u'\t' + filenameParameter(name),
            };
            if (embedded && related)
                headers << QStringLiteral("Content-ID: <") + contentId(name) + u'>';
            headers << QString();
            for (const QString &line : std::as_const(headers)) {
                if (!writeDataLine(foldHeaderField(line)))
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
        if (socketState() != socketConnected) {
            fail(error_text::socketNotOpen);
            return;
        }
        if (!writeMessageData(Encode == 0 ? modCorreu::encodeBase64Lines(bytes) : uuencodedLines(bytes)))
            return;
        remaining -= n;
    }
}

} // namespace tramelo
