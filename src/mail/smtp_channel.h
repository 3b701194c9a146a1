#pragma once

#include "smtp_reply_reader.h"
#include "transport.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace tramelo {

// The dialogue's own rules over one stream: commands written as lines, each
// reply read whole and bounded, and a reply only ever the answer to a
// command written before it arrived. What the server says unasked (before
// a command was written, or past the replies of a group) breaks the
// dialogue, and so does a reply past the reader's bounds.
class SmtpChannel
{
public:
    using Clock = Transport::Clock;

    struct Reply {
        QByteArray text;         // as received, line ends included
        std::optional<int> code; // its last line's code, when it has one
    };

    // Why the dialogue cannot go on; breakText() words it.
    enum class Break {
        None,
        TimedOut,
        Closed,   // the server closed the connection without a word
        Failed,   // the stream failed
        Refused,  // TLS: the server's certificate was refused
        Stopped,  // the stop signal was raised
        TooLong,  // a reply past the bounds
        Unasked,  // the server spoke when nothing was asked
        Spoke,    // the server spoke while message data was written: read()
    };

    explicit SmtpChannel(const StopSignal *stop);

    Transport &transport() { return m_transport; }
    // Command lines, each ended by CR LF (a line break inside one becomes a
    // blank, so that no value can end a command early), in one write.
    Break write(const QList<QByteArray> &lines, std::chrono::milliseconds timeout);
    // Message data as it is; a server that speaks meanwhile ends it (Spoke).
    Break writeData(QByteArrayView bytes, std::chrono::milliseconds idleTimeout);
    // The next reply. A server that closes in the middle of one gives what
    // it said last as its reply; the next read finds the connection closed.
    Break read(Reply &reply, Clock::time_point deadline);
    // Whether the server said something nobody asked for (or closed), found
    // without waiting; the bytes are kept for breakText().
    bool spokeUnasked();
    // The words of the last break: a reply's own text, the time-out, the
    // stream's failure, or "Unexpected reply from the SMTP Host: " and the
    // bytes.
    QString breakText() const { return m_breakText; }
    Break noteBreak(Transport::Status status);
    // Forgets what the server said that nobody has read.
    void dropUnread();
    void close();

private:
    Transport m_transport;
    SmtpReplyReader m_reader;
    QString m_breakText;
};

// The time an operation may take, from now.
inline SmtpChannel::Clock::time_point deadlineAfter(std::chrono::milliseconds timeout)
{
    return SmtpChannel::Clock::now() + timeout;
}

} // namespace tramelo
