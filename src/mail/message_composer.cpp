#include "message_composer.h"

#include "component_support.h"
#include "dkim_signer.h"
#include "header_encoding.h"
#include "html_text.h"
#include "message_body.h"
#include "mime_structure.h"
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

// RFC 2919: the list the sender's messages make, named after the sender's
// address ("<remitent.example.com>"), so that filters can tell it and the
// unsubscribe headers do not look like a list's partial ones.
QString listIdRow(const QString &sender)
{
    static const QRegularExpression outsideLabel(QStringLiteral("[^A-Za-z0-9_-]+"));
    QString label = sender.section(u'@', 0, -2).replace(outsideLabel, QStringLiteral("-"));
    if (label.isEmpty())
        label = QStringLiteral("list");
    return QStringLiteral("List-Id: <") + label + u'.' + messageIdDomain(sender) + u'>';
}

// A header line may hold at most 998 characters, and a URL is not folded.
bool fitsHeaderLines(const QStringList &rows)
{
    for (const QString &row : rows) {
        for (const QString &line : foldHeaderField(row).split(crlf)) {
            if (line.size() > maxBodyLineLength)
                return false;
        }
    }
    return true;
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
    const bool withAlternative = m_settings.textAlternative && m_settings.html && m_settings.mime;
    const std::vector<DataPiece> files = withAlternative ? std::vector<DataPiece>() : fileParts(boundary, links);
    // The empty first line of the body and the line ends after it go in the
    // body's own form too.
    const QString text = crlf + body + crlf + crlf + crlf;
    const QString alternativeText = withAlternative ? prepareBody(textOfHtml(parts.body)) + crlf : QString();
    QString failure;
    if (!fitsHeaderLines(listUnsubscribeRows(parts.unsubscribe)))
        failure = QStringLiteral("The unsubscribe link is too long for a header line");

    const auto variant = [&](BodyChannel channel) {
        const EncodedBody html = encodeBody(text, eightBit, channel);
        MessageData data;
        if (withAlternative) {
            const EncodedBody plain = encodeBody(alternativeText, hasEightBitCharacters(alternativeText), channel);
            data = alternativeStructure(messageHeaderRows(parts, now, messageId), plain, html, links, boundary);
            data.eightBitMime = html.isEightBitUtf8() || plain.isEightBitUtf8();
        } else {
            data = bodyStructure(
                headerBlock(parts, now, boundary, related, html.charset, html.transferEncoding, messageId), html.bytes,
                files);
            data.eightBitMime = html.isEightBitUtf8();
        }
        if (m_settings.dkim && failure.isEmpty())
            m_settings.dkim->sign(data, now.toSecsSinceEpoch(), failure);
        return data;
    };
    MessageData eightBitMime = variant(m_settings.mime ? BodyChannel::EightBitMime : BodyChannel::Unlabelled);
    // Only a body that goes as 8-bit UTF-8 goes otherwise to a server that
    // takes no 8-bit data.
    std::optional<MessageData> sevenBit;
    if (eightBitMime.eightBitMime && m_settings.mime)
        sevenBit = variant(BodyChannel::SevenBit);
    QList<AttachedPart> attached;
    for (std::size_t i = 0; i < m_files.size(); ++i)
        attached.append({withoutLineBreaks(m_files[i]->name()), links.embedded.value(qsizetype(i))});
    return std::make_shared<const ComposedMessage>(messageId, std::move(eightBitMime), std::move(sevenBit),
                                                   std::move(attached), failure);
}

QStringList MessageComposer::messageHeaderRows(const MessageParts &parts, const QDateTime &now,
                                               const QString &messageId) const
{
    const MessageSettings &s = m_settings;
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
    if (!parts.unsubscribe.isEmpty())
        rows << listIdRow(withoutLineBreaks(s.sender)) << listUnsubscribeRows(parts.unsubscribe);
    if (s.mime) {
        rows << QStringLiteral("MIME-Version: 1.0");
        if (s.priority != 3) {
            rows << QStringLiteral("X-Priority: ") + QString::number(s.priority);
            rows << QStringLiteral("X-MSMail-Priority: ") + s.priorityWord;
        }
        if (s.receipt)
            rows << QStringLiteral("Disposition-Notification-To: ") + fromValue;
    }
    return rows;
}

QString MessageComposer::headerBlock(const MessageParts &parts, const QDateTime &now, const QString &boundary,
                                     bool related, const QString &charset, const QString &transferEncoding, const QString &messageId) const
{
    const MessageSettings &s = m_settings;
    const bool multipart = s.mime && !m_files.empty();
    QStringList rows = messageHeaderRows(parts, now, messageId);
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

MessageData MessageComposer::alternativeStructure(const QStringList &headerRows, const EncodedBody &text,
                                                 const EncodedBody &html, const BodyLinks &links,
                                                 const QString &boundary) const
{
    const QString contentBase = m_settings.contentBase.isEmpty() ? QString() : withoutLineBreaks(m_settings.contentBase);
    AlternativeBody body = alternativeBody({text, html, contentBase, m_files, links}, boundary);
    MessageData data;
    data.pieces.push_back(wirePiece(headerLines(headerRows + body.headerRows) + "\r\n"));
    data.pieces.insert(data.pieces.end(), body.pieces.begin(), body.pieces.end());
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
            appendFilePart(pieces, m_files[i], part, boundary, FileDisposition::Attachment,
                           links.embedded.value(part) && related);
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
