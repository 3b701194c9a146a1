#include "recipient_grid.h"

#include "record_snapshot.h"

#include <algorithm>

namespace tramelo {

namespace {

const QString sentText = QStringLiteral("Si");
const QString failedText = QStringLiteral("No");

// A mark cell shows what its entry says: "S" sent, "N" failed, else nothing.
char shownEntry(char entry)
{
    return entry == 'S' || entry == 'N' ? entry : ' ';
}

} // namespace

QString RecipientGrid::markText(int row) const
{
    if (!isDataRow(row))
        return row == 0 ? cellText(0, 0) : QString();
    switch (m_markCells.at(row - 1)) {
    case 'S':
        return sentText;
    case 'N':
        return failedText;
    default:
        return {};
    }
}

bool RecipientGrid::showsSent(int row) const
{
    return isDataRow(row) && m_markCells.at(row - 1) == 'S';
}

bool RecipientGrid::showsFailed(int row) const
{
    return isDataRow(row) && m_markCells.at(row - 1) == 'N';
}

RecipientGrid::MarkCounts RecipientGrid::markCounts() const
{
    return {m_markCells.count('S'), m_markCells.count('N')};
}

bool RecipientGrid::hasMarks() const
{
    const auto marked = [](char entry) { return entry == 'S' || entry == 'N'; };
    return std::any_of(m_markCells.cbegin(), m_markCells.cend(), marked)
        || std::any_of(m_sentMarks.cbegin(), m_sentMarks.cend(), marked);
}

void RecipientGrid::clearMarkCell(int row)
{
    setMarkCell(row, ' ');
}

void RecipientGrid::markSent(int row, const QString &reply)
{
    setMark(row, 'S', QString(), reply);
}

void RecipientGrid::markFailed(int row, const QString &reason, const QString &reply)
{
    setMark(row, 'N', reason, reply);
}

QString RecipientGrid::failureReason(int row) const
{
    return m_notes.value(row).reason;
}

void RecipientGrid::setMark(int row, char entry, const QString &reason, const QString &reply)
{
    if (!isDataRow(row))
        return;
    m_sentMarks[row - 1] = entry;
    // Reasons and replies are for a grid that shows them.
    if (!keepsCells() || (reason.isEmpty() && reply.isEmpty()))
        m_notes.remove(row);
    else
        m_notes.insert(row, {reason, reply});
    m_markCells[row - 1] = entry;
    // The mark, its tool tip and the reply column change together.
    Q_EMIT dataChanged(index(row - 1, 0), index(row - 1, gridColumnCount() - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

void RecipientGrid::setMarkCell(int row, char entry)
{
    if (!isDataRow(row))
        return;
    m_markCells[row - 1] = entry;
    const QModelIndex cell = index(row - 1, 0);
    Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
}

void RecipientGrid::toggleMark(int row, int column)
{
    if (row == 0 || column != 0 || !isDataRow(row))
        return;
    // The list remembers the last outcome, so a second toggle brings back
    // what the first one hid; the list itself never changes here.
    if (m_markCells.at(row - 1) == ' ')
        setMarkCell(row, m_sentMarks.at(row - 1) == 'S' ? 'S' : 'N');
    else
        setMarkCell(row, ' ');
}

void RecipientGrid::clearAllMarks()
{
    for (int row = 1; row <= dataRowCount(); ++row) {
        m_markCells[row - 1] = ' ';
        m_sentMarks[row - 1] = ' ';
    }
    m_notes.clear();
    announceMarkColumn();
}

void RecipientGrid::restoreMarks(const QByteArray &marks)
{
    // Exactly one entry per data row, whatever the caller passed, so that
    // every later mark has its entry.
    m_sentMarks = marks.leftJustified(dataRowCount(), ' ', true);
    for (int row = 1; row <= dataRowCount(); ++row)
        m_markCells[row - 1] = shownEntry(m_sentMarks.at(row - 1));
    announceMarkColumn();
}

qint64 RecipientGrid::restoreSentRows(const std::function<bool(const QString &address)> &wasSent)
{
    qint64 matched = 0;
    for (int row = 1; row <= dataRowCount(); ++row) {
        if (!wasSent(cellText(row, 1)))
            continue;
        showRestoredSent(row);
        ++matched;
    }
    announceMarkColumn();
    return matched;
}

qint64 RecipientGrid::restoreSentRows(RecordSnapshot &records, const QString &addressField,
                                      const std::function<bool(const QString &address)> &wasSent)
{
    qint64 matched = 0;
    for (int row = 1; row <= dataRowCount() && !records.atEnd(); ++row, records.moveNext()) {
        if (!wasSent(records.value(addressField).value_or(QString())))
            continue;
        showRestoredSent(row);
        ++matched;
    }
    announceMarkColumn();
    return matched;
}

void RecipientGrid::showRestoredSent(int row)
{
    m_markCells[row - 1] = 'S';
    m_sentMarks[row - 1] = 'S';
}

void RecipientGrid::announceMarkColumn()
{
    if (dataRowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(dataRowCount() - 1, gridColumnCount() - 1),
                           {Qt::DisplayRole, Qt::ToolTipRole});
}

} // namespace tramelo
