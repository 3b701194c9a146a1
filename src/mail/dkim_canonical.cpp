#include "dkim_canonical.h"

#include <openssl/evp.h>

#include <cstring>

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

RelaxedBodyHash::RelaxedBodyHash()
    : m_context(EVP_MD_CTX_new())
{
    EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr);
}

RelaxedBodyHash::~RelaxedBodyHash()
{
    EVP_MD_CTX_free(m_context);
}

void RelaxedBodyHash::hash(QByteArrayView bytes)
{
    EVP_DigestUpdate(m_context, bytes.data(), size_t(bytes.size()));
}

void RelaxedBodyHash::add(QByteArrayView bytes)
{
    // Whole lines with nothing to change (every base64 line: no blank, no
    // empty line) are hashed as they are, all at once.
    // (memmem: Qt's search for two bytes is many times slower.)
    const qsizetype end = bytes.lastIndexOf('\n') + 1;
    if (m_partialLine.isEmpty() && m_emptyLines == 0 && end > 1 && bytes[end - 2] == '\r' && bytes.front() != '\r') {
        const QByteArrayView lines = bytes.first(end);
        if (!lines.contains(' ') && !lines.contains('\t') && !memmem(lines.data(), size_t(end), "\n\r", 2)) {
            hash(lines);
            bytes = bytes.sliced(end);
        }
    }
    while (!bytes.isEmpty()) {
        const qsizetype lineFeed = bytes.indexOf('\n');
        if (lineFeed < 0) {
            m_partialLine += bytes;
            return;
        }
        // A line ends at CR LF, which may be cut between two pieces; a lone
        // LF is a character of its line.
        const bool lineEnd = lineFeed > 0 ? bytes[lineFeed - 1] == '\r' : m_partialLine.endsWith('\r');
        if (lineEnd && m_partialLine.isEmpty()) {
            addLine(bytes.first(lineFeed - 1));
        } else {
            m_partialLine += bytes.first(lineFeed + 1);
            if (lineEnd) {
                m_partialLine.chop(2);
                addLine(m_partialLine);
                m_partialLine.clear();
            }
        }
        bytes = bytes.sliced(lineFeed + 1);
    }
}

QByteArray RelaxedBodyHash::result()
{
    if (!m_partialLine.isEmpty())
        addLine(std::exchange(m_partialLine, {}));
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context, reinterpret_cast<unsigned char *>(digest.data()), &length);
    digest.resize(length);
    return digest;
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
        hash("\r\n");
    hash(canonical);
    hash("\r\n");
}

} // namespace tramelo
