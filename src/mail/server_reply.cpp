#include "server_reply.h"

#include "content_encoders.h"
#include "plain_text.h"
#include "windows1252.h"

#include <QList>

#include <algorithm>
#include <utility>

namespace tramelo {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool startsWithCode(QByteArrayView line)
{
    return line.size() >= 3 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]);
}

bool isContinuationLine(QByteArrayView line)
{
    return startsWithCode(line) && line.size() >= 4 && line[3] == '-';
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isWhiteSpace(char c)
{
    return c == ' ' || c == '\t';
}

QList<QByteArrayView> words(QByteArrayView text)
{
    QList<QByteArrayView> found;
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && (isWhiteSpace(text[i]) || isLineEnd(text[i])))
            ++i;
        const qsizetype start = i;
        while (i < text.size() && !isWhiteSpace(text[i]) && !isLineEnd(text[i]))
            ++i;
        if (i > start)
            found.append(text.sliced(start, i - start));
    }
    return found;
}

bool sameText(QByteArrayView text, QByteArrayView expected)
{
    return text.compare(expected, Qt::CaseInsensitive) == 0;
}

bool lastLineStartsWith(QByteArrayView reply, QByteArrayView prefix)
{
    const QByteArrayView line = server_reply::lastLine(reply);
    return line.size() >= prefix.size() && sameText(line.first(prefix.size()), prefix);
}

} // namespace

// ---- framing ---------------------------------------------------------------

void ReplyReader::append(QByteArrayView bytes)
{
    if (m_cut)
        return;
    if (m_inputPos > 0) {
        m_input.remove(0, m_inputPos);
        m_inputPos = 0;
    }
    m_input.append(bytes);
}

std::optional<ReplyReader::Reply> ReplyReader::next()
{
    while (!m_cut && m_inputPos < m_input.size()) {
        const qsizetype lineEnd = m_input.indexOf('\n', m_inputPos);
        const qsizetype end = lineEnd < 0 ? m_input.size() : lineEnd + 1;
        const QByteArrayView piece = QByteArrayView(m_input).sliced(m_inputPos, end - m_inputPos);
        const qsizetype room = maxReplyBytes - m_reply.size();
        if (piece.size() > room) {
            m_reply.append(piece.first(room));
            Reply cut{std::exchange(m_reply, {}), true};
            clear();
            m_cut = true;
            return cut;
        }
        m_reply.append(piece);
        m_inputPos = end;
        if (lineEnd < 0)
            break;
        if (!isContinuationLine(QByteArrayView(m_reply).sliced(m_lineStart))) {
            m_lineStart = 0;
            m_lines = 0;
            return Reply{std::exchange(m_reply, {}), false};
        }
        m_lineStart = m_reply.size();
        if (++m_lines == maxReplyLines) {
            // A line more is due, and past the bound.
            Reply cut{std::exchange(m_reply, {}), true};
            clear();
            m_cut = true;
            return cut;
        }
    }
    if (m_inputPos == m_input.size()) {
        m_input.clear();
        m_inputPos = 0;
    }
    return std::nullopt;
}

QByteArray ReplyReader::takeUnfinished()
{
    QByteArray unfinished = std::exchange(m_reply, {});
    clear();
    return unfinished;
}

QByteArray ReplyReader::held(qsizetype most) const
{
    QByteArray front = m_reply.left(most);
    front += QByteArrayView(m_input).sliced(m_inputPos).first(std::min(most - front.size(), m_input.size() - m_inputPos));
    return front;
}

void ReplyReader::clear()
{
    m_input.clear();
    m_inputPos = 0;
    m_reply.clear();
    m_lineStart = 0;
    m_lines = 0;
    m_cut = false;
}

// ---- reading ---------------------------------------------------------------

namespace server_reply {

QByteArrayView lastLine(QByteArrayView reply)
{
    const QByteArrayView withoutLastEnd = reply.endsWith('\n') ? reply.chopped(1) : reply;
    const qsizetype start = withoutLastEnd.lastIndexOf('\n') + 1;
    return reply.sliced(start);
}

std::optional<int> code(QByteArrayView reply)
{
    const QByteArrayView line = lastLine(reply);
    if (!startsWithCode(line) || (line.size() > 3 && line[3] != ' ' && !isLineEnd(line[3])))
        return std::nullopt;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

bool isPop3Positive(QByteArrayView reply)
{
    return lastLineStartsWith(reply, "+OK");
}

bool isPop3Negative(QByteArrayView reply)
{
    return lastLineStartsWith(reply, "-ER");
}

Extensions extensions(QByteArrayView reply)
{
    Extensions offer;
    qsizetype start = 0;
    while (start < reply.size()) {
        const qsizetype lineEnd = reply.indexOf('\n', start);
        const qsizetype end = lineEnd < 0 ? reply.size() : lineEnd + 1;
        const QByteArrayView line = reply.sliced(start, end - start);
        start = end;
        // The extension follows the code and its separator.
        QList<QByteArrayView> mechanisms = words(line.sliced(qMin<qsizetype>(4, line.size())));
        if (mechanisms.isEmpty())
            continue;
        const QByteArrayView keyword = mechanisms.takeFirst();
        if (sameText(keyword, "STARTTLS") && mechanisms.isEmpty()) {
            offer.startTls = true;
            continue;
        }
        if (sameText(keyword, "8BITMIME") && mechanisms.isEmpty()) {
            offer.eightBitMime = true;
            continue;
        }
        if (sameText(keyword, "PIPELINING") && mechanisms.isEmpty()) {
            offer.pipelining = true;
            continue;
        }
        const bool parameterForm = keyword.size() >= 5 && sameText(keyword.first(5), "AUTH=");
        if (parameterForm && keyword.size() > 5)
            mechanisms.prepend(keyword.sliced(5));
        else if (!parameterForm && !sameText(keyword, "AUTH"))
            continue;
        for (const QByteArrayView mechanism : std::as_const(mechanisms)) {
            if (sameText(mechanism, "LOGIN"))
                offer.login = true;
            if (sameText(mechanism, "PLAIN"))
                offer.plain = true;
        }
        if (parameterForm && !mechanisms.isEmpty() && sameText(mechanisms.first(), "LOGIN"))
            offer.authParameter = true;
    }
    return offer;
}

QString loginPromptText(QByteArrayView reply)
{
    const QByteArrayView line = lastLine(reply);
    QString prompt = trimBlanks(fromWindows1252(line.sliced(qMin<qsizetype>(3, line.size()))));
    prompt.remove(crlf);
    return modCorreu::decodeBase64Text(prompt);
}

QString shownOnOneLine(QByteArrayView bytes)
{
    QByteArray line = bytes.first(std::min(bytes.size(), maxShownBytes)).toByteArray();
    line.replace("\r\n", " ");
    for (char &byte : line) {
        if (uchar(byte) < 0x20 || byte == 0x7f)
            byte = ' ';
    }
    return trimBlanks(fromWindows1252(line));
}

} // namespace server_reply
} // namespace tramelo
