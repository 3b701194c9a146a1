#pragma once

#include "record_table.h"

#include <QString>
#include <QStringList>

#include <memory>
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
    explicit RecordSnapshot(std::shared_ptr<const RecordTable> table);

    int fieldCount() const { return m_table->fieldCount(); }
    QString fieldName(int field) const { return fieldNames().at(field); }
    const QStringList &fieldNames() const { return m_table->fieldNames(); }
    // -1 when no field has that name (compared without regard to case, as the drivers do).
    int fieldIndex(const QString &name) const;

    // The current record starts at the first one and may move one step
    // past either end, where no field has a value.
    qint64 recordCount() const { return m_table->rowCount(); }
    bool atEnd() const { return m_position >= recordCount(); }
    void moveNext();
    void movePrevious();

    // The value of a field of the current record.
    Value value(int field) const;
    Value value(const QString &fieldName) const;

    // The rows themselves, for whoever keeps them after the snapshot is gone
    // (the recipient grid shares them instead of copying).
    std::shared_ptr<const RecordTable> table() const { return m_table; }

private:
    std::shared_ptr<const RecordTable> m_table;
    qint64 m_position = 0;
};

} // namespace tramelo
