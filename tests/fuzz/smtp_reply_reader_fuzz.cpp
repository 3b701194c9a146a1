// Any bytes as what a server says, cut into pieces of any length and, when
// asked, repeated like a server that never stops: the mail core's reader
// must give the same replies however the bytes were cut, each within its
// bounds (line length, lines, bytes) and made of whole lines, never hold
// more than a read's worth, and take nothing after a reply past a bound.
#include "smtp_reply_reader.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

using namespace tramelo;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

struct Framed {
    QList<QByteArray> replies;
    bool cut = false;
    friend bool operator==(const Framed &, const Framed &) = default;
};

Framed frame(const QByteArray &sent, qsizetype pieceLength)
{
    SmtpReplyReader reader;
    Framed framed;
    for (qsizetype at = 0; at < sent.size() && !framed.cut; at += pieceLength) {
        reader.append(QByteArrayView(sent).sliced(at, std::min(pieceLength, sent.size() - at)));
        for (;;) {
            QByteArray reply;
            const SmtpReplyReader::Result result = reader.next(reply);
            if (result == SmtpReplyReader::Result::NeedMore)
                break;
            framed.replies << reply;
            framed.cut = result == SmtpReplyReader::Result::TooLong;
            if (framed.cut)
                break;
        }
        require(reader.heldBytes() <= SmtpReplyReader::maxReplyBytes + pieceLength);
    }
    if (!framed.cut)
        framed.replies << reader.takeHeld();
    require(reader.heldBytes() == 0);
    return framed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype pieceLength = 1 + (data[0] & 0x7f);
    const bool endless = (data[0] & 0x80) != 0;
    const QByteArray once(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QByteArray sent = once;
    while (endless && !once.isEmpty() && sent.size() <= 2 * SmtpReplyReader::maxReplyBytes)
        sent += once;

    const Framed framed = frame(sent, pieceLength);
    require(framed == frame(sent, std::max<qsizetype>(1, sent.size())));
    QByteArray joined;
    for (qsizetype i = 0; i < framed.replies.size(); ++i) {
        const QByteArray &reply = framed.replies[i];
        const bool whole = i + 1 < framed.replies.size() || !framed.cut;
        require(reply.size() <= SmtpReplyReader::maxReplyBytes);
        const QList<QByteArray> lines = reply.split('\n');
        require(lines.size() <= SmtpReplyReader::maxLines + 1);
        for (const QByteArray &line : lines)
            require(line.size() <= SmtpReplyReader::maxLineBytes);
        // A complete reply ends with its line; only the last may be cut or unfinished.
        if (whole && i + 1 < framed.replies.size())
            require(reply.endsWith('\n'));
        joined += reply;
    }
    require(framed.cut ? sent.startsWith(joined) : joined == sent);
    return 0;
}
