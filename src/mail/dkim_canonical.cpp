#include "dkim_canonical.h"

namespace tramelo {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Every run of blanks made one space, none at the end.
QByteArray blanksReduced(QByteArrayView text)
{
    QByteArray reduced;
    reduced.reserve(text.size());
    for (const char c : text) {
        if (!isBlank(c))
            reduced += c;
        else if (reduced.isEmpty() || reduced.back() != ' ')
            reduced += ' ';
    }
    if (reduced.endsWith(' '))
        reduced.chop(1);
    return reduced;
}

} // namespace

QByteArray relaxedHeaderField(QByteArrayView field)
{
    const qsizetype colon = field.indexOf(':');
    QByteArray name = field.first(std::max<qsizetype>(colon, 0)).toByteArray().toLower();
    while (name.endsWith(' ') || name.endsWith('\t'))
        name.chop(1);
    QByteArray value = field.sliced(colon + 1).toByteArray().replace("\r\n", "");
    value = blanksReduced(value);
    if (value.startsWith(' '))
        value.remove(0, 1);
    return name + ':' + value;
}

void RelaxedBodyHash::add(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        // A line end cut between two pieces.
        if (m_partialLine.endsWith('\r') && bytes.front() == '\n') {
            m_partialLine.chop(1);
            addLine(m_partialLine);
            m_partialLine.clear();
            bytes = bytes.sliced(1);
            continue;
        }
        const qsizetype end = bytes.indexOf("\r\n");
        if (end < 0) {
            m_partialLine += bytes;
            return;
        }
        if (m_partialLine.isEmpty()) {
            addLine(bytes.first(end));
        } else {
            m_partialLine += bytes.first(end);
            addLine(m_partialLine);
            m_partialLine.clear();
        }
        bytes = bytes.sliced(end + 2);
    }
}

QByteArray RelaxedBodyHash::result()
{
    if (!m_partialLine.isEmpty())
        addLine(std::exchange(m_partialLine, {}));
    return m_hash.result();
}

void RelaxedBodyHash::addLine(QByteArrayView line)
{
    // Most lines (every base64 one) have no blank to reduce.
    const QByteArray reduced = line.contains(' ') || line.contains('\t') ? blanksReduced(line) : QByteArray();
    const QByteArrayView canonical = reduced.isNull() ? line : QByteArrayView(reduced);
    if (canonical.isEmpty()) {
        ++m_emptyLines;
        return;
    }
    for (; m_emptyLines > 0; --m_emptyLines)
        m_hash.addData("\r\n");
    m_hash.addData(canonical);
    m_hash.addData("\r\n");
}

} // namespace tramelo
