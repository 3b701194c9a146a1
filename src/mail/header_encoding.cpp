#include "header_encoding.h"

#include "content_encoders.h"
#include "windows1252.h"

#include <cmath>

namespace tramelo {
namespace {

const QString quoteMark = QStringLiteral("\"");
const QString fold = QStringLiteral("\r\n\t");

bool needsNoEncoding(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) > 126)
            return false;
    }
    return true;
}

bool isPlainInQ(unsigned char c)
{
    return (c >= 33 && c <= 60) || c == 62 || (c >= 64 && c <= 94) || (c >= 96 && c <= 126);
}

QString quotedPrintableWords(const QByteArray &bytes)
{
    constexpr qsizetype chunkLimit = 54;
    QString candidate;
    QString chunk;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (isPlainInQ(c))
            chunk += QChar(c);
        else if (c == ' ')
            chunk += u'_';
        else
            chunk += QStringLiteral("=%1").arg(c, 2, 16, QChar(u'0')).toUpper();
        const bool last = i + 1 == bytes.size();
        if (chunk.size() >= chunkLimit || (last && !chunk.isEmpty())) {
            candidate += QStringLiteral("=?ISO-8859-1?Q?") + chunk + QStringLiteral("?=");
            if (!last)
                candidate += fold;
            chunk.clear();
        }
    }
    return candidate;
}

QString base64Words(const QByteArray &bytes)
{
    constexpr qsizetype pieceLength = 42;
    QString candidate;
    for (qsizetype start = 0; start < bytes.size(); start += pieceLength) {
        QString encoded = modCorreu::encodeBase64Text(fromWindows1252(bytes.mid(start, pieceLength)));
        encoded.chop(2); // the encoder's final CR LF
        candidate += QStringLiteral("=?ISO-8859-1?B?") + encoded + QStringLiteral("?=");
        if (start + pieceLength < bytes.size())
            candidate += fold;
    }
    return candidate;
}

QString lastEightHexDigits(quint64 value)
{
    return QStringLiteral("%1").arg(value, 8, 16, QChar(u'0')).toUpper().right(8);
}

} // namespace

QString EncodeHeaderText(const QString &text, bool quote)
{
    const QByteArray bytes = toWindows1252(text);
    if (needsNoEncoding(bytes)) {
        const QString plain = fromWindows1252(bytes);
        return quote ? quoteMark + plain + quoteMark : plain;
    }
    const QString q = quotedPrintableWords(bytes);
    const QString b = base64Words(bytes);
    return q.size() < b.size() ? q : b;
}

QString mimeBoundaryAt(const QDateTime &localTime)
{
    const qint64 dayNumber = QDate(1899, 12, 30).daysTo(localTime.date());
    const QTime time = localTime.time();
    const double dayFraction = (time.hour() * 3600 + time.minute() * 60 + time.second()) / 86400.0;
    const auto timeNumber = static_cast<quint64>(std::nearbyint(dayFraction * 100000000.0));
    return QStringLiteral("----_=_NextPart_000_") + lastEightHexDigits(quint64(dayNumber)) + u'.'
        + lastEightHexDigits(timeNumber);
}

QString withoutLineBreaks(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

} // namespace tramelo
