#include "message_body.h"

#include "plain_text.h"
#include "windows1252.h"

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
    const QByteArray bytes = toWindows1252(text);
    for (char byte : bytes) {
        if (static_cast<unsigned char>(byte) > 126)
            return true;
    }
    return false;
}

} // namespace tramelo
