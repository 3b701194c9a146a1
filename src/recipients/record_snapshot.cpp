#include "record_snapshot.h"

namespace tramelo {

namespace {

std::shared_ptr<const RecordTable> tableOf(QStringList fieldNames, const std::vector<std::vector<RecordSnapshot::Value>> &rows)
{
    auto table = std::make_shared<RecordTable>(std::move(fieldNames));
    for (const auto &row : rows) {
        for (int field = 0; field < table->fieldCount(); ++field) {
            if (std::size_t(field) < row.size() && row[std::size_t(field)])
                table->appendValue(*row[std::size_t(field)]);
            else
                table->appendNull();
        }
    }
    return table;
}

} // namespace

RecordSnapshot::RecordSnapshot(QStringList fieldNames, std::vector<std::vector<Value>> rows)
    : RecordSnapshot(tableOf(std::move(fieldNames), rows))
{
}

RecordSnapshot::RecordSnapshot(std::shared_ptr<const RecordTable> table)
    : m_fieldNames(table->fieldNames())
    , m_recordCount(table->rowCount())
    , m_table(std::move(table))
{
}

RecordSnapshot::RecordSnapshot(QStringList fieldNames, qint64 recordCount, std::unique_ptr<RowReader> reader)
    : m_fieldNames(std::move(fieldNames))
    , m_recordCount(recordCount)
    , m_reader(std::move(reader))
{
    if (!atEnd())
        readUpTo(m_position);
}

RecordSnapshot::~RecordSnapshot() = default;

void RecordSnapshot::readUpTo(qint64 position)
{
    while (m_rowsRead <= position) {
        if (!m_reader->readRow(m_nextRow, m_readFailure)) {
            // The rows read so far are all there is: the last of them stays
            // one step back from the end.
            m_recordCount = m_rowsRead;
            m_position = m_recordCount;
            return;
        }
        std::swap(m_previousRow, m_currentRow);
        std::swap(m_currentRow, m_nextRow);
        ++m_rowsRead;
    }
}

int RecordSnapshot::fieldIndex(const QString &name) const
{
    const QStringList &names = fieldNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void RecordSnapshot::moveNext()
{
    if (m_position >= recordCount())
        return;
    ++m_position;
    if (m_reader && !atEnd())
        readUpTo(m_position);
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
    if (!m_table) {
        const std::vector<Value> *row = m_position == m_rowsRead - 1 ? &m_currentRow
            : m_position == m_rowsRead - 2                            ? &m_previousRow
                                                                      : nullptr;
        return row && std::size_t(field) < row->size() ? (*row)[std::size_t(field)] : std::nullopt;
    }
    if (m_table->isNull(m_position, field))
        return std::nullopt;
    return m_table->text(m_position, field).toString();
}

RecordSnapshot::Value RecordSnapshot::value(const QString &fieldName) const
{
    return value(fieldIndex(fieldName));
}

} // namespace tramelo
