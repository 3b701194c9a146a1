#include "message_data_writer.h"

namespace tramelo {

bool MessageDataWriter::passesUnchanged(QByteArrayView piece) const
{
    return !(m_atLineStart && piece.front() == '.') && !piece.contains("\n.") && !piece.contains('\0');
}

QByteArray MessageDataWriter::toWire(const QByteArray &piece)
{
    if (piece.isEmpty() || !passesUnchanged(piece))
        return toWire(QByteArrayView(piece));
    m_atLineStart = piece.back() == '\n';
    return piece;
}

QByteArray MessageDataWriter::toWire(QByteArrayView piece)
{
    if (piece.isEmpty())
        return {};
    // Most pieces (every base64 one) need no change: copy them whole.
    if (passesUnchanged(piece)) {
        m_atLineStart = piece.back() == '\n';
        return piece.toByteArray();
    }
    QByteArray wire;
    wire.reserve(piece.size() + 16);
    for (const char byte : piece) {
        if (byte == '\0')
            continue;
        // Servers that take a bare LF for a line end see a line start there too.
        if (m_atLineStart && byte == '.')
            wire += '.';
        wire += byte;
        m_atLineStart = byte == '\n';
    }
    return wire;
}

} // namespace tramelo
