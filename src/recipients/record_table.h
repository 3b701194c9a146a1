#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace tramelo {

// The rows of one result set, kept compact: every value's text end to end in
// one buffer, an end offset per value and a bit per value for null. A
// hundred thousand rows cost little more than their text.
class RecordTable
{
public:
    explicit RecordTable(QStringList fieldNames);

    const QStringList &fieldNames() const { return m_fieldNames; }
    int fieldCount() const { return int(m_fieldNames.size()); }
    qint64 rowCount() const;

    // Rows are filled value by value, left to right, top to bottom.
    void appendValue(QStringView text);
    void appendNull();

    bool isNull(qint64 row, int field) const { return m_nulls[cellIndex(row, field)]; }
    // The text of a value; empty for null.
    QStringView text(qint64 row, int field) const;

private:
    std::size_t cellIndex(qint64 row, int field) const { return std::size_t(row) * std::size_t(fieldCount()) + std::size_t(field); }

    QStringList m_fieldNames;
    std::vector<char16_t> m_text;
    std::vector<qsizetype> m_ends;
    std::vector<bool> m_nulls;
};

} // namespace tramelo
