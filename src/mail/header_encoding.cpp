#include "header_encoding.h"

#include "content_encoders.h"
#include "plain_text.h"
#include "text_charset.h"

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

bool isControl(char16_t c)
{
    return c < 32 && c != u'\t';
}

bool isPrintableAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 32 && c.unicode() <= 126; });
}

bool fitsPlain(QStringView text, bool phrase)
{
    qsizetype word = 0;
    for (const QChar c : text) {
        if (c.unicode() > 126 || (phrase && isControl(c.unicode())))
            return false;
        word = isWhiteSpace(c) ? 0 : word + 1;
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

// A text as encoded words carry it: Latin-1 as it always went, anything
// else as UTF-8, whose characters take one to four bytes.
struct WordText {
    QByteArray bytes;
    QString charset;
    bool utf8 = false;

    explicit WordText(const QString &text)
        : utf8(!fitsLatin1(text))
    {
        bytes = utf8 ? text.toUtf8() : text.toLatin1();
        charset = utf8 ? QStringLiteral("UTF-8") : QStringLiteral("ISO-8859-1");
    }

    // Where the character that starts at byte i ends: no word may split one.
    qsizetype characterEnd(qsizetype i) const
    {
        ++i;
        while (utf8 && i < bytes.size() && (static_cast<unsigned char>(bytes[i]) & 0xC0) == 0x80)
            ++i;
        return i;
    }
};

// RFC 2047: an encoded word is at most 75 characters long.
constexpr qsizetype longestEncodedWord = 75;

bool isPlainInQ(unsigned char c, bool phrase)
{
    // In a phrase only letters, digits and these may stand for themselves
    // (RFC 2047, section 5 (3)).
    if (phrase)
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' || c == '*'
            || c == '+' || c == '-' || c == '/';
    return (c >= 33 && c <= 60) || c == 62 || (c >= 64 && c <= 94) || (c >= 96 && c <= 126);
}

QString quotedPrintableCharacter(QByteArrayView bytes, bool phrase)
{
    QString encoded;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (isPlainInQ(c, phrase))
            encoded += QChar(c);
        else if (c == ' ')
            encoded += u'_';
        else
            encoded += QStringLiteral("=%1").arg(c, 2, 16, QChar(u'0')).toUpper();
    }
    return encoded;
}

// Chunks are closed once they reach 54 characters; a character whose
// encoding would take a chunk past the longest word starts the next one.
QString quotedPrintableWords(const WordText &text, bool phrase)
{
    constexpr qsizetype chunkLimit = 54;
    const QString open = QStringLiteral("=?") + text.charset + QStringLiteral("?Q?");
    const qsizetype chunkRoom = longestEncodedWord - open.size() - 2;
    QString candidate;
    QString chunk;
    const auto close = [&](bool more) {
        candidate += open + chunk + QStringLiteral("?=");
        if (more)
            candidate += fold;
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.bytes.size();) {
        const qsizetype end = text.characterEnd(i);
        const QString piece = quotedPrintableCharacter(QByteArrayView(text.bytes).sliced(i, end - i), phrase);
        if (!chunk.isEmpty() && chunk.size() + piece.size() > chunkRoom)
            close(true);
        chunk += piece;
        i = end;
        if (chunk.size() >= chunkLimit)
            close(i < text.bytes.size());
    }
    if (!chunk.isEmpty())
        close(false);
    return candidate;
}

// Pieces of at most 42 bytes, each made of whole characters.
QString base64Words(const WordText &text)
{
    constexpr qsizetype pieceLength = 42;
    QString candidate;
    for (qsizetype start = 0; start < text.bytes.size();) {
        qsizetype end = text.characterEnd(start);
        while (end < text.bytes.size() && text.characterEnd(end) - start <= pieceLength)
            end = text.characterEnd(end);
        QByteArray encoded = modCorreu::encodeBase64Lines(QByteArrayView(text.bytes).sliced(start, end - start));
        encoded.chop(2); // the encoder's final CR LF
        candidate += QStringLiteral("=?") + text.charset + QStringLiteral("?B?") + QString::fromLatin1(encoded)
            + QStringLiteral("?=");
        if (end < text.bytes.size())
            candidate += fold;
        start = end;
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

QString encodedWords(const QString &text, bool phrase)
{
    const WordText words(text);
    const QString q = quotedPrintableWords(words, phrase);
    const QString b = base64Words(words);
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
    if (fitsPlain(text, quote))
        return quote ? quotedString(text) : text;
    return encodedWords(text, quote);
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
    return QStringLiteral("name=")
        + (isPrintableAscii(fileName) ? quotedString(fileName) : u'"' + encodedWords(fileName, true) + u'"');
}

QString filenameParameter(const QString &fileName)
{
    if (isPrintableAscii(fileName))
        return QStringLiteral("filename=") + quotedString(fileName);
    const WordText name(fileName);
    return QStringLiteral("filename*=") + name.charset + QStringLiteral("''") + percentEncoded(name.bytes);
}

QString contentId(const QString &fileName)
{
    if (fitsLatin1(fileName))
        return fileName;
    return QStringLiteral("utf8.") + QString::fromLatin1(fileName.toUtf8().toHex());
}

QString withoutLineBreaks(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

} // namespace tramelo
