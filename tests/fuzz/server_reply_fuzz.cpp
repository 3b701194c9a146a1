// Any bytes as what a server says, cut into pieces of any length and, when
// asked, repeated like a server that never stops: the replies must come out
// the same however the bytes were cut, framed at their line ends and within
// the bounds of bytes and lines, the reader must hold no more than the bound
// once it has given out what it can, and reading a reply must stay inside
// it. Taken one reply at a time, as the session takes the one it is owed,
// the rest stays held as it came, and shows on one line within its bound.
#include "server_reply.h"

#include <QList>

#include <cctype>
#include <cstdint>
#include <cstdlib>

using namespace tramelo;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool isContinuationLine(QByteArrayView line)
{
    return line.size() >= 4 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1]))
        && std::isdigit(uchar(line[2])) && line[3] == '-';
}

// The replies, then the unfinished rest as a last one.
QList<ReplyReader::Reply> frame(const QByteArray &sent, qsizetype pieceLength)
{
    ReplyReader reader;
    QList<ReplyReader::Reply> replies;
    for (qsizetype at = 0; at < sent.size(); at += pieceLength) {
        reader.append(QByteArrayView(sent).sliced(at, std::min(pieceLength, sent.size() - at)));
        while (const std::optional<ReplyReader::Reply> reply = reader.next())
            replies.append(*reply);
        require(reader.heldBytes() <= ReplyReader::maxReplyBytes);
    }
    replies.append({reader.takeUnfinished(), false});
    require(reader.heldBytes() == 0);
    return replies;
}

// Reads the reply as the session judges it.
void read(const QByteArray &reply)
{
    const QByteArrayView line = server_reply::lastLine(reply);
    require(reply.endsWith(line));
    const std::optional<int> code = server_reply::code(reply);
    if (!code) {
        require(!(server_reply::isPop3Positive(reply) && server_reply::isPop3Negative(reply)));
    } else if (*code == 250) {
        const server_reply::Extensions offer = server_reply::extensions(reply);
        require(offer.login || !offer.authParameter);
    } else if (*code == 334) {
        require(server_reply::loginPromptText(reply).size() <= reply.size());
    }
    require(!code || (*code <= 999 && !isContinuationLine(line)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte: the length of the pieces, and whether the rest is sent
    // over and over until it passes the bound twice.
    const qsizetype pieceLength = 1 + (data[0] & 0x7f);
    const bool endless = (data[0] & 0x80) != 0;
    const QByteArray once(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QByteArray sent = once;
    while (endless && !once.isEmpty() && sent.size() <= 2 * ReplyReader::maxReplyBytes)
        sent += once;

    const QList<ReplyReader::Reply> replies = frame(sent, pieceLength);
    require(replies == frame(sent, std::max<qsizetype>(1, sent.size())));
    // After a cut, nothing more is read.
    const bool cut = replies.size() >= 2 && replies[replies.size() - 2].tooLong && replies.last().text.isEmpty();
    QByteArray joined;
    for (qsizetype i = 0; i < replies.size(); ++i) {
        const QByteArray &text = replies[i].text;
        const bool last = i + 1 == replies.size();
        require(text.size() <= ReplyReader::maxReplyBytes && text.count('\n') <= ReplyReader::maxReplyLines);
        // Cut at a bound, it is the last thing read; complete, its lines
        // are continuation lines all but the last.
        if (replies[i].tooLong)
            require((text.size() == ReplyReader::maxReplyBytes || text.count('\n') == ReplyReader::maxReplyLines) && cut
                    && i + 2 == replies.size());
        for (qsizetype start = 0; !last && !replies[i].tooLong && start < text.size();) {
            const qsizetype end = text.indexOf('\n', start) + 1;
            require(end > 0);
            require(isContinuationLine(QByteArrayView(text).sliced(start, end - start)) != (end == text.size()));
            start = end;
        }
        read(text);
        joined += text;
    }
    require(cut ? sent.startsWith(joined) : joined == sent);

    ReplyReader reader;
    reader.append(sent);
    const std::optional<ReplyReader::Reply> owed = reader.next();
    const QByteArray rest = owed && owed->tooLong ? QByteArray() : sent.sliced(owed ? owed->text.size() : 0);
    const QByteArray held = reader.held(server_reply::maxShownBytes);
    require(reader.heldBytes() == rest.size() && held == rest.left(server_reply::maxShownBytes));
    const QString shown = server_reply::shownOnOneLine(held);
    require(shown.size() <= server_reply::maxShownBytes);
    for (const QChar c : shown)
        require(c >= u' ' && c != u'\x7f');
    return 0;
}
