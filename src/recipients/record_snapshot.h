#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tramelo {

// A static, read-only result set: every row of one SQL text read into memory
// when it is opened, with a current position that moves back and forth.
// Null is kept apart from the empty text.
class RecordSnapshot
{
public:
    using Value = std::optional<QString>;

    RecordSnapshot(QStringList fieldNames, std::vector<std::vector<Value>> rows);

    int fieldCount() const { return int(m_fieldNames.size()); }
    QString fieldName(int field) const { return m_fieldNames.at(field); }
    const QStringList &fieldNames() const { return m_fieldNames; }
    // -1 when no field has that name (compared without regard to case, as the drivers do).
    int fieldIndex(const QString &name) const;

    qint64 recordCount() const { return qint64(m_rows.size()); }
    qint64 position() const { return m_position; }
    bool atEnd() const { return m_position >= recordCount(); }
    bool atStart() const { return m_position < 0; }
    void moveFirst() { m_position = 0; }
    void moveNext();
    void movePrevious();

    // The value of a field of the current record.
    Value value(int field) const;
    Value value(const QString &fieldName) const;

private:
    QStringList m_fieldNames;
    std::vector<std::vector<Value>> m_rows;
    qint64 m_position = 0;
};

} // namespace tramelo
