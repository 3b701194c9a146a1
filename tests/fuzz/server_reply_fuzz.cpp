// Any bytes as what a server says, cut into pieces of any length and, when
// asked, repeated like a server that never stops: the replies must come out
// the same however the bytes were cut, each within the bound and framed at
// its line ends, the reader must hold no more than the bound once it has
// given out what it can, and every reading of a reply must stay inside it.
#include "server_reply.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

namespace {

using tramelo::ReplyReader;
namespace server_reply = tramelo::server_reply;

struct Framing
{
    QList<ReplyReader::Reply> replies;
    QByteArray unfinished;
};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

Framing frame(const QByteArray &sent, qsizetype pieceLength)
{
    ReplyReader reader;
    Framing framing;
    for (qsizetype at = 0; at < sent.size(); at += pieceLength) {
        reader.append(QByteArrayView(sent).sliced(at, std::min(pieceLength, sent.size() - at)));
        while (const std::optional<ReplyReader::Reply> reply = reader.next())
            framing.replies.append(*reply);
        require(reader.heldBytes() <= ReplyReader::maxReplyBytes);
    }
    framing.unfinished = reader.takeUnfinished();
    require(reader.heldBytes() == 0);
    return framing;
}

bool sameFraming(const Framing &a, const Framing &b)
{
    if (a.unfinished != b.unfinished || a.replies.size() != b.replies.size())
        return false;
    for (qsizetype i = 0; i < a.replies.size(); ++i) {
        if (a.replies[i].text != b.replies[i].text || a.replies[i].tooLong != b.replies[i].tooLong)
            return false;
    }
    return true;
}

bool isContinuationLine(QByteArrayView line)
{
    return line.size() >= 4 && line[0] >= '0' && line[0] <= '9' && line[1] >= '0' && line[1] <= '9'
        && line[2] >= '0' && line[2] <= '9' && line[3] == '-';
}

// A complete reply: lines ended by LF, all of them continuation lines but
// the last.
void checkFramed(const QByteArray &reply)
{
    require(reply.endsWith('\n'));
    qsizetype start = 0;
    while (start < reply.size()) {
        const qsizetype end = reply.indexOf('\n', start) + 1;
        const bool last = end == reply.size();
        require(isContinuationLine(QByteArrayView(reply).sliced(start, end - start)) != last);
        start = end;
    }
}

// Reads the reply as the session judges it.
void read(const QByteArray &reply)
{
    const QByteArrayView line = server_reply::lastLine(reply);
    require(line.size() <= reply.size() && reply.endsWith(line));
    const std::optional<int> code = server_reply::code(reply);
    if (!code) {
        require(!(server_reply::isPop3Positive(reply) && server_reply::isPop3Negative(reply)));
        return;
    }
    require(*code >= 0 && *code <= 999 && !isContinuationLine(line));
    if (*code == 250) {
        const server_reply::LoginOffer offer = server_reply::loginOffer(reply);
        require(offer.offered || !offer.authParameter);
    } else if (*code == 334) {
        require(server_reply::loginPromptText(reply).size() <= reply.size());
    }
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
    QByteArray sent(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (endless && !sent.isEmpty()) {
        const QByteArray once = sent;
        while (sent.size() <= 2 * ReplyReader::maxReplyBytes)
            sent += once;
    }

    const Framing framing = frame(sent, pieceLength);
    require(sameFraming(framing, frame(sent, std::max<qsizetype>(1, sent.size()))));

    QByteArray joined;
    for (qsizetype i = 0; i < framing.replies.size(); ++i) {
        const ReplyReader::Reply &reply = framing.replies[i];
        require(reply.text.size() <= ReplyReader::maxReplyBytes);
        if (reply.tooLong) {
            // Cut at the bound, and the last thing read.
            require(reply.text.size() == ReplyReader::maxReplyBytes);
            require(i + 1 == framing.replies.size() && framing.unfinished.isEmpty());
        } else {
            checkFramed(reply.text);
        }
        read(reply.text);
        joined += reply.text;
    }
    read(framing.unfinished);
    joined += framing.unfinished;
    const bool cut = !framing.replies.isEmpty() && framing.replies.last().tooLong;
    require(cut ? sent.startsWith(joined) : joined == sent);
    return 0;
}
