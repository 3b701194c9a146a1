#include "header_encoding.h"

#include "content_encoders.h"
#include "plain_text.h"
#include "windows1252.h"

#include <QStringList>

#include <algorithm>

namespace tramelo {
namespace {

const QString fold = QStringLiteral("\r\n\t");
constexpr qsizetype foldedLineLength = 78;
// A header line holds at most 998 characters; a longer word could not be
// folded onto one, field name and quotes included.
constexpr qsizetype longestPlainWord = 900;

bool isWhiteSpace(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isControl(unsigned char c)
{
    return c < 32 && c != '\t';
}

bool isPrintableAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return c >= 32 && c <= 126; });
}

bool fitsPlain(const QByteArray &bytes, bool phrase)
{
    qsizetype word = 0;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c > 126 || (phrase && isControl(c)))
            return false;
        word = (c == ' ' || c == '\t') ? 0 : word + 1;
        if (word > longestPlainWord)
            return false;
    }
    return true;
}

QString quotedString(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', QLatin1String("\\\\"));
    escaped.replace(u'"', QLatin1String("\\\""));
    return u'"' + escaped + u'"';
}

QString charsetLabel(const QByteArray &bytes)
{
    const bool windowsOnly = std::any_of(bytes.cbegin(), bytes.cend(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80 && static_cast<unsigned char>(c) <= 0x9F;
    });
    return windowsOnly ? QStringLiteral("windows-1252") : QStringLiteral("ISO-8859-1");
}

bool isPlainInQ(unsigned char c, bool phrase)
{
    // In a phrase only letters, digits and these may stand for themselves
    // (RFC 2047, section 5 (3)).
    if (phrase)
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' || c == '*'
            || c == '+' || c == '-' || c == '/';
    return (c >= 33 && c <= 60) || c == 62 || (c >= 64 && c <= 94) || (c >= 96 && c <= 126);
}

QString quotedPrintableWords(const QByteArray &bytes, const QString &charset, bool phrase)
{
    constexpr qsizetype chunkLimit = 54;
    QString candidate;
    QString chunk;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (isPlainInQ(c, phrase))
            chunk += QChar(c);
        else if (c == ' ')
            chunk += u'_';
        else
            chunk += QStringLiteral("=%1").arg(c, 2, 16, QChar(u'0')).toUpper();
        const bool last = i + 1 == bytes.size();
        if (chunk.size() >= chunkLimit || (last && !chunk.isEmpty())) {
            candidate += QStringLiteral("=?") + charset + QStringLiteral("?Q?") + chunk + QStringLiteral("?=");
            if (!last)
                candidate += fold;
            chunk.clear();
        }
    }
    return candidate;
}

QString base64Words(const QByteArray &bytes, const QString &charset)
{
    constexpr qsizetype pieceLength = 42;
    QString candidate;
    for (qsizetype start = 0; start < bytes.size(); start += pieceLength) {
        QString encoded = modCorreu::encodeBase64Text(fromWindows1252(bytes.mid(start, pieceLength)));
        encoded.chop(2); // the encoder's final CR LF
        candidate += QStringLiteral("=?") + charset + QStringLiteral("?B?") + encoded + QStringLiteral("?=");
        if (start + pieceLength < bytes.size())
            candidate += fold;
    }
    return candidate;
}

// Where to fold a line: before a blank that follows the first word after
// from, the last one at or before the limit, else the first one after it.
qsizetype foldPoint(QStringView line, qsizetype from)
{
    qsizetype i = from;
    while (i < line.size() && isWhiteSpace(line[i]))
        ++i;
    while (i < line.size() && !isWhiteSpace(line[i]))
        ++i;
    qsizetype point = -1;
    for (; i < line.size(); ++i) {
        if (!isWhiteSpace(line[i]) || isWhiteSpace(line[i - 1]))
            continue;
        if (i > foldedLineLength && point >= 0)
            break;
        point = i;
        if (i > foldedLineLength)
            break;
    }
    return point;
}

QString encodedWords(const QByteArray &bytes, bool phrase)
{
    const QString charset = charsetLabel(bytes);
    const QString q = quotedPrintableWords(bytes, charset, phrase);
    const QString b = base64Words(bytes, charset);
    return q.size() < b.size() ? q : b;
}

QString percentEncoded(const QByteArray &bytes)
{
    // RFC 2231 attribute characters stand for themselves.
    return QString::fromLatin1(bytes.toPercentEncoding("!#$&+^`{|}~"));
}

} // namespace

QString EncodeHeaderText(const QString &text, bool quote)
{
    const QByteArray bytes = toWindows1252(text);
    if (fitsPlain(bytes, quote)) {
        const QString plain = fromWindows1252(bytes);
        return quote ? quotedString(plain) : plain;
    }
    return encodedWords(bytes, quote);
}

QString foldHeaderField(const QString &field)
{
    QString folded;
    const QStringList lines = field.split(crlf);
    for (qsizetype k = 0; k < lines.size(); ++k) {
        if (k > 0)
            folded += crlf;
        QStringView rest = lines[k];
        qsizetype from = k == 0 ? rest.indexOf(u':') + 1 : 0;
        while (rest.size() > foldedLineLength) {
            const qsizetype point = foldPoint(rest, from);
            if (point < 0)
                break;
            folded += rest.first(point);
            folded += crlf;
            rest = rest.sliced(point);
            from = 0;
        }
        folded += rest;
    }
    return folded;
}

QString nameParameter(const QString &fileName)
{
    const QByteArray bytes = toWindows1252(fileName);
    return QStringLiteral("name=")
        + (isPrintableAscii(bytes) ? quotedString(fileName) : u'"' + encodedWords(bytes, true) + u'"');
}

QString filenameParameter(const QString &fileName)
{
    const QByteArray bytes = toWindows1252(fileName);
    if (isPrintableAscii(bytes))
        return QStringLiteral("filename=") + quotedString(fileName);
    return QStringLiteral("filename*=") + charsetLabel(bytes) + QStringLiteral("''") + percentEncoded(bytes);
}

QString withoutLineBreaks(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

} // namespace tramelo
