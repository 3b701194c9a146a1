#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace tramelo {

// Message data as it travels between DATA and the final ".", whatever wrote
// it (headers, body, boundaries, encoded files): a line that begins with "."
// gets a second one, which the server takes away again, so that no line can
// end the data early or lose its first character; NUL bytes are dropped. A
// piece may end in the middle of a line; the next one goes on from there.
class MessageDataWriter
{
public:
    // The start of a message's data, which is the start of a line.
    void restart() { m_atLineStart = true; }
    // The piece as it goes on the wire.
    QByteArray toWire(QByteArrayView piece);
    // The same, sharing the piece's bytes when it needs no change.
    QByteArray toWire(const QByteArray &piece);

private:
    bool passesUnchanged(QByteArrayView piece) const;

    bool m_atLineStart = true;
};

} // namespace tramelo
