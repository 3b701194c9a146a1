#include "recipient_grid.h"

namespace tramelo {

namespace {

const QString sentText = QStringLiteral("Si");
const QString failedText = QStringLiteral("No");

QString cellTextForEntry(char entry)
{
    switch (entry) {
    case 'S':
        return sentText;
    case 'N':
        return failedText;
    default:
        return {};
    }
}

} // namespace

bool RecipientGrid::showsSent(int row) const
{
    return markText(row) == sentText;
}

bool RecipientGrid::showsFailed(int row) const
{
    return markText(row) == failedText;
}

void RecipientGrid::clearMarkCell(int row)
{
    setMarkCell(row, QString());
}

void RecipientGrid::markSent(int row, const QString &reply)
{
    setMark(row, sentText, 'S', QString(), reply);
}

void RecipientGrid::markFailed(int row, const QString &reason, const QString &reply)
{
    setMark(row, failedText, 'N', reason, reply);
}

QString RecipientGrid::failureReason(int row) const
{
    return m_notes.value(row).reason;
}

void RecipientGrid::setMark(int row, const QString &text, char entry, const QString &reason, const QString &reply)
{
    if (!isDataRow(row))
        return;
    m_sentMarks[row - 1] = entry;
    if (reason.isEmpty() && reply.isEmpty())
        m_notes.remove(row);
    else
        m_notes.insert(row, {reason, reply});
    m_markCells[std::size_t(row - 1)] = text;
    // The mark, its tool tip and the reply column change together.
    Q_EMIT dataChanged(index(row - 1, 0), index(row - 1, gridColumnCount() - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

void RecipientGrid::setMarkCell(int row, const QString &text)
{
    if (!isDataRow(row))
        return;
    m_markCells[std::size_t(row - 1)] = text;
    const QModelIndex cell = index(row - 1, 0);
    Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
}

void RecipientGrid::toggleMark(int row, int column)
{
    if (row == 0 || column != 0 || !isDataRow(row))
        return;
    // The list remembers the last outcome, so a second toggle brings back
    // what the first one hid; the list itself never changes here.
    if (markText(row).isEmpty())
        setMarkCell(row, m_sentMarks.at(row - 1) == 'S' ? sentText : failedText);
    else
        setMarkCell(row, QString());
}

void RecipientGrid::clearAllMarks()
{
    for (int row = 1; row <= dataRowCount(); ++row) {
        m_markCells[std::size_t(row - 1)].clear();
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
        m_markCells[std::size_t(row - 1)] = cellTextForEntry(m_sentMarks.at(row - 1));
    announceMarkColumn();
}

qint64 RecipientGrid::restoreSentRows(const std::function<bool(const QString &address)> &wasSent)
{
    qint64 matched = 0;
    for (int row = 1; row <= dataRowCount(); ++row) {
        if (!wasSent(cellText(row, 1)))
            continue;
        m_markCells[std::size_t(row - 1)] = sentText;
        m_sentMarks[row - 1] = 'S';
        ++matched;
    }
    announceMarkColumn();
    return matched;
}

void RecipientGrid::announceMarkColumn()
{
    if (dataRowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(dataRowCount() - 1, gridColumnCount() - 1),
                           {Qt::DisplayRole, Qt::ToolTipRole});
}

} // namespace tramelo
