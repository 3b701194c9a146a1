#include "record_snapshot.h"

namespace tramelo {

RecordSnapshot::RecordSnapshot(QStringList fieldNames, std::vector<std::vector<Value>> rows)
    : m_fieldNames(std::move(fieldNames))
    , m_rows(std::move(rows))
{
}

int RecordSnapshot::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        if (m_fieldNames[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void RecordSnapshot::moveNext()
{
    if (m_position < recordCount())
        ++m_position;
}

void RecordSnapshot::movePrevious()
{
    if (m_position >= 0)
        --m_position;
}

RecordSnapshot::Value RecordSnapshot::value(int field) const
{
    if (m_position < 0 || m_position >= recordCount() || field < 0 || field >= fieldCount())
        return std::nullopt;
    return m_rows[std::size_t(m_position)][std::size_t(field)];
}

RecordSnapshot::Value RecordSnapshot::value(const QString &fieldName) const
{
    return value(fieldIndex(fieldName));
}

} // namespace tramelo
