#include "csv_records.h"

#include <QIODevice>

#include <algorithm>
#include <array>

namespace tramelo {
namespace {

constexpr qsizetype chunkSize = 64 * 1024;
// Far beyond any recipient's record; a quote left open would otherwise read
// the rest of the file into one field.
constexpr qsizetype maxRecordBytes = 1024 * 1024;

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

char csvDelimiterOf(QByteArrayView start)
{
    constexpr std::array<char, 3> candidates = {',', ';', '\t'};
    std::array<int, 3> counts = {};
    qsizetype i = 0;
    while (i < start.size() && isLineEnd(start[i]))
        ++i; // blank lines before the header
    bool quoted = false;
    for (; i < start.size(); ++i) {
        const char c = start[i];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && isLineEnd(c))
            break;
        else if (!quoted) {
            for (std::size_t k = 0; k < candidates.size(); ++k)
                counts[k] += c == candidates[k] ? 1 : 0;
        }
    }
    return candidates[std::size_t(std::max_element(counts.begin(), counts.end()) - counts.begin())];
}

CsvRecordReader::CsvRecordReader(QIODevice &file, char delimiter)
    : m_file(file)
    , m_delimiter(delimiter)
{
}

QByteArrayView CsvRecordReader::field(qsizetype index) const
{
    const qsizetype begin = index == 0 ? 0 : m_fieldEnds[std::size_t(index - 1)];
    return QByteArrayView(m_text.data() + begin, m_fieldEnds[std::size_t(index)] - begin);
}

CsvRecordReader::Read CsvRecordReader::fail(qint64 line, const QString &reason)
{
    m_problem = {line, reason};
    return Read::Failed;
}

bool CsvRecordReader::fill()
{
    m_chunk.resize(chunkSize);
    const qint64 got = m_file.read(m_chunk.data(), chunkSize);
    m_chunk.resize(qsizetype(std::max<qint64>(got, 0)));
    m_at = 0;
    return got >= 0;
}

// CR LF is one line end, and so is a CR or an LF alone.
void CsvRecordReader::countLineEnd(char c)
{
    if (c == '\r' || !m_afterCr)
        ++m_line;
    m_afterCr = c == '\r';
}

bool CsvRecordReader::endRecord()
{
    endField();
    const bool blank = m_fieldEnds.size() == 1 && !m_quoted
        && std::all_of(m_text.cbegin(), m_text.cend(), [](char c) { return c == ' '; });
    if (!blank)
        return true;
    m_text.clear();
    m_fieldEnds.clear();
    m_recordLine = m_line;
    return false;
}

CsvRecordReader::Read CsvRecordReader::endOfFile(State state)
{
    if (state == State::Quoted)
        return fail(m_quoteLine, QStringLiteral("les cometes obertes no es tanquen"));
    return endRecord() ? Read::Record : Read::End;
}

CsvRecordReader::Read CsvRecordReader::next()
{
    m_text.clear(); // keeps the room of the record before
    m_fieldEnds.clear();
    m_quoted = false;
    m_recordLine = m_line;
    State state = State::FieldStart;
    for (;;) {
        if (m_at == m_chunk.size()) {
            if (qsizetype(m_text.size()) > maxRecordBytes)
                return fail(m_recordLine, QStringLiteral("el registre fa més d'1 MiB"));
            if (!fill())
                return fail(m_line, QStringLiteral("no s'ha pogut llegir: ") + m_file.errorString());
            if (m_chunk.isEmpty())
                return endOfFile(state);
        }
        const char *data = m_chunk.constData();
        // The text of a field runs up to the next byte that may end it.
        if (state == State::Unquoted || state == State::Quoted) {
            const char stop = state == State::Unquoted ? m_delimiter : '"';
            qsizetype end = m_at;
            while (end < m_chunk.size() && data[end] != stop && !isLineEnd(data[end]))
                ++end;
            if (end > m_at) {
                m_text.append(data + m_at, std::size_t(end - m_at));
                m_at = end;
                m_afterCr = false;
                continue;
            }
        }

        const char c = data[m_at++];
        if (isLineEnd(c))
            countLineEnd(c);
        else
            m_afterCr = false;
        switch (state) {
        case State::FieldStart:
            if (c == '"') {
                state = State::Quoted;
                m_quoted = true;
                m_quoteLine = m_line;
            } else if (c == m_delimiter) {
                endField();
            } else if (!isLineEnd(c)) {
                m_text.push_back(c);
                state = State::Unquoted;
            } else if (endRecord()) {
                return Read::Record;
            }
            break;
        case State::Unquoted: // the delimiter or a line end
            if (c == m_delimiter) {
                endField();
                state = State::FieldStart;
            } else if (endRecord()) {
                return Read::Record;
            } else {
                state = State::FieldStart;
            }
            break;
        case State::Quoted: // a quote or a line end
            if (c == '"')
                state = State::AfterQuote;
            else
                m_text.push_back(c);
            break;
        case State::AfterQuote:
            if (c == '"') {
                m_text.push_back('"');
                state = State::Quoted;
            } else if (c == m_delimiter) {
                endField();
                state = State::FieldStart;
            } else if (isLineEnd(c)) {
                endField();
                return Read::Record;
            } else {
                return fail(m_line, QStringLiteral("hi ha text després de les cometes que tanquen un camp"));
            }
            break;
        }
    }
}

} // namespace tramelo
