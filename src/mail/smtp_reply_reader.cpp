#include "smtp_reply_reader.h"

#include <utility>

namespace tramelo {
namespace {

bool isContinuationLine(QByteArrayView line)
{
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return line.size() >= 4 && digit(line[0]) && digit(line[1]) && digit(line[2]) && line[3] == '-';
}

} // namespace

void SmtpReplyReader::append(QByteArrayView bytes)
{
    if (m_cut)
        return;
    if (m_position > 0) {
        m_input.remove(0, m_position);
        m_position = 0;
    }
    m_input.append(bytes);
}

SmtpReplyReader::Result SmtpReplyReader::next(QByteArray &reply)
{
    if (m_cut)
        return Result::NeedMore;
    while (m_position < m_input.size()) {
        const qsizetype lineEnd = m_input.indexOf('\n', m_position);
        const qsizetype lineLength = (lineEnd < 0 ? m_input.size() : lineEnd + 1) - m_position;
        const bool tooManyLines = lineEnd >= 0 && m_lines + 1 > maxLines;
        if (tooManyLines || lineLength > maxLineBytes || m_reply.size() + lineLength > maxReplyBytes) {
            // What was read, within the bounds.
            const qsizetype room =
                tooManyLines ? 0 : std::min(maxReplyBytes - m_reply.size(), std::min(lineLength, maxLineBytes));
            reply = std::exchange(m_reply, {}).append(QByteArrayView(m_input).sliced(m_position, room));
            clear();
            m_cut = true;
            return Result::TooLong;
        }
        if (lineEnd < 0)
            break;
        const QByteArrayView line = QByteArrayView(m_input).sliced(m_position, lineLength);
        m_reply.append(line);
        m_position = lineEnd + 1;
        ++m_lines;
        if (!isContinuationLine(line)) {
            reply = std::exchange(m_reply, {});
            m_lines = 0;
            return Result::Reply;
        }
    }
    return Result::NeedMore;
}

QByteArray SmtpReplyReader::takeHeld()
{
    QByteArray held = std::exchange(m_reply, {}).append(QByteArrayView(m_input).sliced(m_position));
    clear();
    return held;
}

void SmtpReplyReader::clear()
{
    m_input.clear();
    m_position = 0;
    m_reply.clear();
    m_lines = 0;
    m_cut = false;
}

} // namespace tramelo
