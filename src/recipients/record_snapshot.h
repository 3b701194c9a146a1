#pragma once

#include "record_table.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace tramelo {

// A static, read-only result set of one SQL text, with a current position
// that moves back and forth. Null is kept apart from the empty text.
//
// Its rows are either read whole into memory when it is opened, or streamed:
// read one at a time as the position reaches them, keeping only the current
// row and the one before it, so that the position may go back one step.
class RecordSnapshot
{
public:
    using Value = std::optional<QString>;

    // The rows of a streamed snapshot, in order.
    class RowReader
    {
    public:
        virtual ~RowReader() = default;
        // The next row, one value per field; false with the reason in error
        // when it cannot be read, or when there is none.
        virtual bool readRow(std::vector<Value> &values, QString &error) = 0;
    };

    RecordSnapshot(QStringList fieldNames, std::vector<std::vector<Value>> rows);
    explicit RecordSnapshot(std::shared_ptr<const RecordTable> table);
    // Streamed: recordCount rows, counted beforehand, read from the reader.
    RecordSnapshot(QStringList fieldNames, qint64 recordCount, std::unique_ptr<RowReader> reader);
    ~RecordSnapshot();

    int fieldCount() const { return int(m_fieldNames.size()); }
    QString fieldName(int field) const { return fieldNames().at(field); }
    const QStringList &fieldNames() const { return m_fieldNames; }
    // -1 when no field has that name (compared without regard to case, as the drivers do).
    int fieldIndex(const QString &name) const;

    // The current record starts at the first one and may move one step
    // past either end, where no field has a value.
    qint64 recordCount() const { return m_recordCount; }
    bool atEnd() const { return m_position >= recordCount(); }
    void moveNext();
    void movePrevious();

    // The value of a field of the current record.
    Value value(int field) const;
    Value value(const QString &fieldName) const;

    // The rows themselves, for whoever keeps them after the snapshot is gone
    // (the recipient grid shares them instead of copying); none when streamed.
    std::shared_ptr<const RecordTable> table() const { return m_table; }

    // Why a streamed snapshot stopped short: a row it could not read ends it
    // there, with the position at its new end. Empty while every row has been read.
    QString readFailure() const { return m_readFailure; }

private:
    void readUpTo(qint64 position);

    QStringList m_fieldNames;
    qint64 m_recordCount = 0;
    std::shared_ptr<const RecordTable> m_table;
    qint64 m_position = 0;

    std::unique_ptr<RowReader> m_reader;
    qint64 m_rowsRead = 0;              // rows taken from the reader so far
    std::vector<Value> m_currentRow;    // row m_rowsRead - 1
    std::vector<Value> m_previousRow;   // row m_rowsRead - 2
    std::vector<Value> m_nextRow;       // where the reader puts the next one
    QString m_readFailure;
};

} // namespace tramelo
