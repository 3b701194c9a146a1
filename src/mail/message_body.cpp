#include "message_body.h"

#include "content_encoders.h"
#include "plain_text.h"
#include "text_charset.h"
#include "windows1252.h"

#include <algorithm>

namespace tramelo {
namespace {

// One line, without its line end, folded. A piece that begins with "." gets
// a second one on the wire (MessageDataWriter), and that dot counts towards
// the piece's length. The rest of the line is kept as a position in it, so a
// long line is folded without copying it again for every piece.
void appendLine(QString &out, QStringView line)
{
    qsizetype position = 0;
    bool dot = line.startsWith(u'.');
    const auto restSize = [&] { return (dot ? 1 : 0) + line.size() - position; };
    while (restSize() > maxBodyLineLength) {
        const qsizetype available = maxBodyLineLength - (dot ? 1 : 0);
        const qsizetype blank = line.sliced(position, available).lastIndexOf(u' ');
        qsizetype taken = blank >= 0 ? blank + 1 : available;
        // Never part the two halves of a character outside the BMP.
        if (taken > 1 && line[position + taken - 1].isHighSurrogate())
            --taken;
        out += line.sliced(position, taken);
        out += crlf;
        position += taken;
        dot = line.sliced(position).startsWith(u'.');
    }
    out += line.sliced(position);
}

// An HTML body that declares UTF-8 is read as UTF-8 wherever it goes: a
// reader that trusts its meta element over the part's charset must not see
// Latin-1 bytes.
bool goesAsLatin1(QStringView text)
{
    if (!fitsLatin1(text))
        return false;
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    return ascii || !declaresUtf8(text);
}

// Each line within what SMTP allows, the dot the data writer adds to a line
// that begins with one counted.
bool linesFitSmtp(QByteArrayView bytes)
{
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf("\r\n", start);
        if (end < 0)
            end = bytes.size();
        const qsizetype dot = bytes.sliced(start).startsWith('.') ? 1 : 0;
        if (end - start + dot > maxBodyLineLength)
            return false;
        start = end + 2;
    }
    return true;
}

} // namespace

QString prepareBody(QStringView text)
{
    QString out;
    if (text.isEmpty())
        return out;
    out.reserve(text.size() + text.size() / 32);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        appendLine(out, text.sliced(start, i - start));
        out += crlf;
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    appendLine(out, text.sliced(start));
    return out;
}

bool hasEightBitCharacters(QStringView text)
{
    // Character by character: every message asks, and the converted text is not needed.
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return static_cast<unsigned char>(toWindows1252(c.unicode())) > 126; });
}

EncodedBody encodeBody(QStringView text, bool eightBitFlag, BodyChannel channel)
{
    const QString written = text.contains(QChar(0)) ? text.toString().remove(QChar(0)) : text.toString();
    if (goesAsLatin1(written)) {
        return {QStringLiteral("iso-8859-1"), eightBitFlag ? QStringLiteral("8bit") : QStringLiteral("7bit"),
                toWindows1252(written)};
    }
    const QByteArray utf8 = written.toUtf8();
    const QString charset = QStringLiteral("utf-8");
    if (channel == BodyChannel::Unlabelled || (channel == BodyChannel::EightBitMime && linesFitSmtp(utf8)))
        return {charset, QStringLiteral("8bit"), utf8};
    QByteArray quoted = modCorreu::encodeQuotedPrintable(utf8);
    QByteArray base64 = modCorreu::encodeBase64Lines(utf8);
    if (quoted.size() <= base64.size())
        return {charset, QStringLiteral("quoted-printable"), std::move(quoted)};
    return {charset, QStringLiteral("base64"), std::move(base64)};
}

} // namespace tramelo
