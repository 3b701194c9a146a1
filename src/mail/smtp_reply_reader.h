#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace tramelo {

// Frames an SMTP server's replies out of the bytes its connection delivers,
// in whatever pieces they come. A line ends at LF; a reply ends with its
// first line that is not a continuation line ("250-..."). Every reply is
// bounded in the length of a line, in lines and in bytes: past a bound the
// server no longer keeps to the protocol, its replies can no longer be told
// apart, and the reader takes nothing more.
class SmtpReplyReader
{
public:
    // RFC 5321 allows 512 octets a line; servers that pass it a little are
    // still read.
    static constexpr qsizetype maxLineBytes = 1000;
    // A capability list of a few lines fits many times over.
    static constexpr int maxLines = 64;
    static constexpr qsizetype maxReplyBytes = 8 * 1024;

    enum class Result {
        Reply,    // a complete reply, as received (line ends included)
        NeedMore, // the reply in progress is unfinished
        TooLong,  // a bound was passed: what was read of the reply
    };

    void append(QByteArrayView bytes);
    Result next(QByteArray &reply);
    // Bytes received and not yet given out as replies.
    qsizetype heldBytes() const { return m_reply.size() + m_input.size() - m_position; }
    // What is held, taken out (the unfinished reply of a server that closed).
    QByteArray takeHeld();
    void clear();

private:
    QByteArray m_input; // appended, framed up to m_position
    qsizetype m_position = 0;
    QByteArray m_reply; // the complete lines of the reply in progress
    int m_lines = 0;
    bool m_cut = false;
};

} // namespace tramelo
