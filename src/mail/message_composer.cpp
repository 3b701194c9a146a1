#include "message_composer.h"

#include "component_support.h"
#include "header_encoding.h"
#include "message_body.h"
#include "message_data_writer.h"
#include "plain_text.h"
#include "windows1252.h"

#include <QRandomGenerator>
#include <QRegularExpression>

namespace tramelo {
namespace {

const QStringList dayNames = {QString(), QStringLiteral("Sun"), QStringLiteral("Mon"), QStringLiteral("Tue"),
                              QStringLiteral("Wed"), QStringLiteral("Thu"), QStringLiteral("Fri"),
                              QStringLiteral("Sat")};
const QStringList monthNames = {QString(), QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
                                QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
                                QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sep"),
                                QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};

// Milliseconds since 1970 and 64 random bits: unique without keeping a count.
QString randomMessageIdPart()
{
    return QString::number(QDateTime::currentMSecsSinceEpoch(), 36) + u'.'
        + QStringLiteral("%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QChar(u'0'));
}

// The sender's domain, when it can stand after the "@" of a Message-ID.
QString messageIdDomain(const QString &from)
{
    static const QRegularExpression dotAtom(QStringLiteral("^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*$"));
    const QString domain = from.section(u'@', -1);
    return from.contains(u'@') && dotAtom.match(domain).hasMatch() ? domain : QStringLiteral("localhost");
}

// Header lines, each folded and ended by CR LF.
QByteArray headerLines(const QStringList &rows)
{
    QString text;
    for (const QString &row : rows)
        text += foldHeaderField(row) + crlf;
    return toWindows1252(text);
}

// Bytes of this message as they go on the wire; each piece starts a line.
DataPiece wirePiece(const QByteArray &bytes, int part = -1)
{
    return {MessageDataWriter().toWire(bytes), nullptr, part};
}

// "a" <a>, "b" <b>: every address with its name (or itself) folded one a line.
QString addressList(const QStringList &addresses, const QStringList &names)
{
    QString list;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const QString address = withoutLineBreaks(addresses[i]);
        const QString name = names.value(i);
        list += EncodeHeaderText(name.isEmpty() ? address : withoutLineBreaks(name), true);
        list += QStringLiteral(" <") + address + u'>';
        if (i + 1 < addresses.size())
            list += QStringLiteral(", \r\n\t");
    }
    return list;
}

} // namespace

MessageComposer::MessageComposer(MessageSettings settings, std::vector<std::shared_ptr<const EncodedFile>> files,
                                 ComposerClock clock)
    : m_settings(std::move(settings))
    , m_files(std::move(files))
    , m_clock(std::move(clock))
{
    m_timeZoneBiasMinutes = m_clock.timeZoneBiasMinutes.value_or(localTimeZoneBiasMinutes());
    m_timeZoneOffset = timeZoneOffsetText(m_timeZoneBiasMinutes);
}

BodyLinks MessageComposer::linkEmbeddedFiles(QString &body) const
{
    if (!m_settings.html || m_files.empty())
        return {QList<bool>(qsizetype(m_files.size()), false), false};
    QStringList names;
    for (const std::shared_ptr<const EncodedFile> &file : m_files)
        names << file->name();
    return tramelo::linkEmbeddedFiles(body, names);
}

std::shared_ptr<const ComposedMessage> MessageComposer::compose(const MessageParts &parts, const BodyLinks &links) const
{
    const QString body = prepareBody(parts.body);
    const bool eightBit = hasEightBitCharacters(body);
    const QDateTime now = m_clock.now ? m_clock.now() : localNow();
    const QString boundary = mimeBoundaryAt(now);
    const QString messageId = newMessageId();
    const bool related = links.related && m_settings.mime && !m_files.empty();
    const std::vector<DataPiece> files = fileParts(boundary, links);
    // The empty first line of the body and the line ends after it go in the
    // body's own form too.
    const QString text = crlf + body + crlf + crlf + crlf;

    const auto variant = [&](const EncodedBody &encoded) {
        MessageData data = bodyStructure(
            headerBlock(parts, now, boundary, related, encoded.charset, encoded.transferEncoding, messageId),
            encoded.bytes, files);
        data.eightBitMime = encoded.isEightBitUtf8();
        return data;
    };
    const EncodedBody eight = encodeBody(text, eightBit, m_settings.mime ? BodyChannel::EightBitMime : BodyChannel::Unlabelled);
    MessageData eightBitMime = variant(eight);
    // Only a body that goes as 8-bit UTF-8 goes otherwise to a server that
    // takes no 8-bit data.
    std::optional<MessageData> sevenBit;
    if (eight.isEightBitUtf8() && m_settings.mime)
        sevenBit = variant(encodeBody(text, eightBit, BodyChannel::SevenBit));
    QList<AttachedPart> attached;
    for (std::size_t i = 0; i < m_files.size(); ++i)
        attached.append({withoutLineBreaks(m_files[i]->name()), links.embedded.value(qsizetype(i))});
    return std::make_shared<const ComposedMessage>(messageId, std::move(eightBitMime), std::move(sevenBit),
                                                   std::move(attached));
}

QString MessageComposer::headerBlock(const MessageParts &parts, const QDateTime &now, const QString &boundary,
                                     bool related, const QString &charset, const QString &transferEncoding, const QString &messageId) const
{
    const MessageSettings &s = m_settings;
    const bool multipart = s.mime && !m_files.empty();
    const QString displayName = withoutLineBreaks(s.senderName);
    const QString sender = withoutLineBreaks(s.sender);
    const QString fromValue = EncodeHeaderText(displayName.trimmed().isEmpty() ? sender : displayName, true)
        + QStringLiteral(" <") + sender + u'>';
    const QString ccList = addressList(parts.cc, parts.ccNames);

    QStringList rows;
    rows << QStringLiteral("From: ") + fromValue;
    rows << QStringLiteral("To: ") + addressList(parts.to, parts.toNames);
    if (!ccList.isEmpty())
        rows << QStringLiteral("Cc: ") + ccList;
    rows << QStringLiteral("Subject: ") + EncodeHeaderText(withoutLineBreaks(parts.subject), false);
    if (!s.replyTo.isEmpty())
        rows << QStringLiteral("Reply-to: <") + withoutLineBreaks(s.replyTo) + u'>';
    rows << dateLine(now);
    rows << QStringLiteral("Message-ID: ") + messageId;
    if (s.mime) {
        rows << QStringLiteral("MIME-Version: 1.0");
        if (s.priority != 3) {
            rows << QStringLiteral("X-Priority: ") + QString::number(s.priority);
            rows << QStringLiteral("X-MSMail-Priority: ") + s.priorityWord;
        }
        if (s.receipt)
            rows << QStringLiteral("Disposition-Notification-To: ") + fromValue;
    }
    if (multipart) {
        rows << (related ? QStringLiteral("Content-Type: multipart/related;")
                         : QStringLiteral("Content-Type: multipart/mixed;"));
        rows << QStringLiteral("\tboundary=\"") + boundary + u'"' + crlf;
        rows << QStringLiteral("This is a multi-part message in MIME format.") + crlf;
        rows << QStringLiteral("--") + boundary;
    }
    if (s.mime) {
        rows << QStringLiteral("Content-Type: ") + (s.html ? QStringLiteral("text/html;") : QStringLiteral("text/plain;"));
        rows << QStringLiteral("\tcharset=\"") + charset + u'"';
        rows << QStringLiteral("Content-Transfer-Encoding: ") + transferEncoding;
        if (s.html && !s.contentBase.isEmpty())
            rows << QStringLiteral("Content-Base: \"") + withoutLineBreaks(s.contentBase) + u'"';
    }
    QString block;
    for (const QString &row : std::as_const(rows))
        block += foldHeaderField(row) + crlf;
    // An empty line ends the headers.
    return block + crlf;
}

MessageData MessageComposer::bodyStructure(const QString &headers, const QByteArray &body,
                                           const std::vector<DataPiece> &fileParts) const
{
    MessageData data;
    QByteArray lead = toWindows1252(headers);
    lead += body;
    data.pieces.push_back(wirePiece(lead));
    data.pieces.insert(data.pieces.end(), fileParts.begin(), fileParts.end());
    for (const DataPiece &piece : data.pieces)
        data.size += piece.size();
    return data;
}

std::vector<DataPiece> MessageComposer::fileParts(const QString &boundary, const BodyLinks &links) const
{
    std::vector<DataPiece> pieces;
    const bool related = links.related;
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        const EncodedFile &file = *m_files[i];
        const QString name = withoutLineBreaks(file.name());
        const int part = int(i);
        if (m_settings.mime) {
            QStringList headers = {
                QStringLiteral("--") + boundary,
                QStringLiteral("Content-Type: ") + contentTypeOf(name, QStringLiteral("application/octet-stream")) + u';',
                u'\t' + nameParameter(name),
                QStringLiteral("Content-Transfer-Encoding: base64"),
                QStringLiteral("Content-Disposition: attachment;"),
                u'\t' + filenameParameter(name),
            };
            if (links.embedded.value(part) && related)
                headers << QStringLiteral("Content-ID: <") + contentId(name) + u'>';
            headers << QString();
            pieces.push_back(wirePiece(headerLines(headers), part));
            pieces.push_back({{}, m_files[i], -1});
            pieces.push_back(wirePiece("\r\n"));
        } else {
            pieces.push_back(wirePiece(toWindows1252(QStringLiteral("begin 600 ") + name + crlf), part));
            pieces.push_back({{}, m_files[i], -1});
            pieces.push_back(wirePiece("end\r\n"));
        }
    }
    if (m_settings.mime && !m_files.empty())
        pieces.push_back(wirePiece(toWindows1252(QStringLiteral("--") + boundary + QStringLiteral("--") + crlf)));
    return pieces;
}

QDateTime MessageComposer::localNow() const
{
    return QDateTime::currentDateTimeUtc().toOffsetFromUtc(-60 * m_timeZoneBiasMinutes);
}

QString MessageComposer::dateLine(const QDateTime &now) const
{
    const int weekday = now.date().dayOfWeek() % 7 + 1; // 1 is Sunday
    return QStringLiteral("Date: ") + dayNames.value(weekday) + QStringLiteral(", ") + QString::number(now.date().day())
        + u' ' + monthNames.value(now.date().month()) + now.toString(QStringLiteral(" yyyy hh:mm:ss "))
        + m_timeZoneOffset;
}

QString MessageComposer::newMessageId() const
{
    const QString unique = m_clock.messageIdPart ? m_clock.messageIdPart() : randomMessageIdPart();
    return u'<' + unique + u'@' + messageIdDomain(m_settings.sender) + u'>';
}

} // namespace tramelo
