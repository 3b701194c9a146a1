#include "record_table.h"

namespace tramelo {

RecordTable::RecordTable(QStringList fieldNames)
    : m_fieldNames(std::move(fieldNames))
{
}

qint64 RecordTable::rowCount() const
{
    return fieldCount() == 0 ? 0 : qint64(m_ends.size()) / fieldCount();
}

void RecordTable::appendValue(QStringView text)
{
    m_text.insert(m_text.end(), text.utf16(), text.utf16() + text.size());
    m_ends.push_back(qsizetype(m_text.size()));
    m_nulls.push_back(false);
}

void RecordTable::appendNull()
{
    m_ends.push_back(qsizetype(m_text.size()));
    m_nulls.push_back(true);
}

QStringView RecordTable::text(qint64 row, int field) const
{
    const std::size_t cell = cellIndex(row, field);
    const qsizetype begin = cell == 0 ? 0 : m_ends[cell - 1];
    return QStringView(m_text.data() + begin, m_ends[cell] - begin);
}

} // namespace tramelo
