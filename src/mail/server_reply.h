#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace tramelo {

// Frames the replies of an SMTP or POP3 server out of the bytes its socket
// delivers, in whatever pieces they come. A line ends at LF; a reply ends
// with its first line that is not a continuation line ("250-..."), so a
// POP3 line ("+OK ...") is a reply of its own. A reply that grows past
// maxReplyBytes, or past maxReplyLines lines, is cut there and nothing more
// is read until clear(): the server no longer keeps to the protocol, and
// its replies can no longer be told apart.
class ReplyReader
{
public:
    // RFC 5321 allows 512 octets a line; a capability list of a few lines
    // fits many times over, in bytes and in lines.
    static constexpr qsizetype maxReplyBytes = 4096;
    static constexpr int maxReplyLines = 100;

    struct Reply
    {
        QByteArray text;      // as received, line ends included
        bool tooLong = false; // cut at maxReplyBytes
        friend bool operator==(const Reply &, const Reply &) = default;
    };

    void append(QByteArrayView bytes);
    // The next complete reply, or the cut over-long one; nothing while the
    // reply in progress is unfinished.
    std::optional<Reply> next();
    // The unfinished reply in progress (the server closed the connection in
    // the middle of it), taking it and everything else out of the reader.
    QByteArray takeUnfinished();
    void clear();
    // Bytes held: received and not yet taken as replies.
    qsizetype heldBytes() const { return m_reply.size() + m_input.size() - m_inputPos; }
    // The first of them, at most that many.
    QByteArray held(qsizetype most) const;

private:
    QByteArray m_input;     // bytes appended, framed up to m_inputPos
    qsizetype m_inputPos = 0;
    QByteArray m_reply;     // the reply in progress
    qsizetype m_lineStart = 0; // where its last, unfinished line starts
    int m_lines = 0;           // its complete lines
    bool m_cut = false;
};

// Reading one reply of the server (as ReplyReader frames it).
namespace server_reply {

// The last line of the reply, line end included.
QByteArrayView lastLine(QByteArrayView reply);

// The code of the reply: three digits that begin its last line, followed by
// a blank or the line end. Nothing for anything else: another line form, or
// a continuation line left last by a server that closed in mid-reply.
std::optional<int> code(QByteArrayView reply);

// Whether a POP3 reply is positive ("+OK") or negative ("-ER..."), in any
// letter case.
bool isPop3Positive(QByteArrayView reply);
bool isPop3Negative(QByteArrayView reply);

// What an EHLO answer offers, in any letter case: a login mechanism when it
// is one of the words of an "AUTH" line or of an "AUTH=" line; LOGIN in the
// old "AUTH=LOGIN" form when that line names it first; STARTTLS, 8BITMIME
// and PIPELINING when a line says it alone.
struct Extensions
{
    bool login = false;
    bool authParameter = false;
    bool plain = false;
    bool startTls = false;
    bool eightBitMime = false;
    bool pipelining = false;
};
Extensions extensions(QByteArrayView reply);

// The text of a "334" login prompt: the last line from its fourth character
// on, without the blanks around it and its CR LF, decoded from base64.
QString loginPromptText(QByteArrayView reply);

// What a server said out of turn, as a failure shows it: its first
// maxShownBytes bytes on one line, each line end or other control character
// a blank, without blanks around.
inline constexpr qsizetype maxShownBytes = 200;
QString shownOnOneLine(QByteArrayView bytes);

} // namespace server_reply
} // namespace tramelo
