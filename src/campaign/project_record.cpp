#include "project_record.h"

#include "windows1252.h"

#include <QtEndian>

namespace tramelo {
namespace {

constexpr quint16 truthTrue = 0xFFFF;
constexpr quint16 truthFalse = 0x0000;

// Writes fields one after the other; a text too long for its count is left
// out and spoils the whole file, which the caller then throws away.
class RecordWriter
{
public:
    void text(const QString &value)
    {
        const QByteArray bytes = toWindows1252(value);
        if (bytes.size() > maxProjectTextBytes) {
            m_textsFit = false;
            return;
        }
        number(quint16(bytes.size()));
        m_bytes += bytes;
    }

    template <typename T>
    void number(T value)
    {
        char little[sizeof(T)];
        qToLittleEndian(value, little);
        m_bytes.append(little, sizeof(T));
    }

    void truth(bool value) { number(value ? truthTrue : truthFalse); }
    void raw(QByteArrayView bytes) { m_bytes.append(bytes); }

    std::optional<QByteArray> result() const
    {
        if (!m_textsFit)
            return std::nullopt;
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    bool m_textsFit = true;
};

// Each read either takes a whole field or leaves both the field and the
// position untouched, so a short file leaves the rest of the record empty.
class RecordReader
{
public:
    explicit RecordReader(QByteArrayView bytes) : m_bytes(bytes) {}

    template <typename T>
    bool number(T &value)
    {
        if (remaining() < qsizetype(sizeof(T)))
            return false;
        value = qFromLittleEndian<T>(m_bytes.data() + m_position);
        m_position += sizeof(T);
        return true;
    }

    bool text(QString &value)
    {
        if (remaining() < 2)
            return false;
        const quint16 count = qFromLittleEndian<quint16>(m_bytes.data() + m_position);
        if (remaining() - 2 < count)
            return false;
        value = fromWindows1252(m_bytes.sliced(m_position + 2, count));
        m_position += 2 + count;
        return true;
    }

    bool truth(bool &value)
    {
        quint16 stored = 0;
        if (!number(stored))
            return false;
        value = stored != 0;
        return true;
    }

    qsizetype position() const { return m_position; }

private:
    qsizetype remaining() const { return m_bytes.size() - m_position; }

    QByteArrayView m_bytes;
    qsizetype m_position = 0;
};

} // namespace

std::optional<QByteArray> writeProject(const ProjectRecord &r, QByteArrayView sentMarks)
{
    RecordWriter out;
    out.text(r.senderAddress);
    out.text(r.senderName);
    out.text(r.smtpServer);
    out.number(r.needsLogin);
    out.text(r.loginUser);
    out.text(r.loginPassword);
    out.text(r.databaseSource);
    out.text(r.tableOrStatement);
    out.text(r.addressField);
    out.text(r.messageSubject);
    out.text(r.bodySource);
    out.text(r.fieldDelimiterLeft);
    out.text(r.fieldDelimiterRight);
    out.number(r.groupSendings);
    out.number(r.groupSize);
    out.number(r.waitSeconds);
    out.text(r.attachmentList);
    out.number(r.recipientRowCount);
    out.truth(r.sourceIsTable);
    out.text(r.tableQuoteLeft);
    out.text(r.tableQuoteRight);
    out.truth(r.bodyIsFile);
    out.raw(sentMarks);
    return out.result();
}

ProjectReading readProjectRecord(QByteArrayView bytes)
{
    ProjectReading reading;
    ProjectRecord &r = reading.record;
    RecordReader in(bytes);
    reading.complete = in.text(r.senderAddress) && in.text(r.senderName) && in.text(r.smtpServer)
        && in.number(r.needsLogin) && in.text(r.loginUser) && in.text(r.loginPassword)
        && in.text(r.databaseSource) && in.text(r.tableOrStatement) && in.text(r.addressField)
        && in.text(r.messageSubject) && in.text(r.bodySource) && in.text(r.fieldDelimiterLeft)
        && in.text(r.fieldDelimiterRight) && in.number(r.groupSendings) && in.number(r.groupSize)
        && in.number(r.waitSeconds) && in.text(r.attachmentList) && in.number(r.recipientRowCount)
        && in.truth(r.sourceIsTable) && in.text(r.tableQuoteLeft) && in.text(r.tableQuoteRight)
        && in.truth(r.bodyIsFile);
    reading.length = in.position();
    return reading;
}

qsizetype firstForeignMark(QByteArrayView marks)
{
    for (qsizetype entry = 0; entry < marks.size(); ++entry) {
        if (marks[entry] != 'S' && marks[entry] != 'N' && marks[entry] != ' ')
            return entry;
    }
    return -1;
}

} // namespace tramelo
