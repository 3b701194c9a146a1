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

void RecipientGrid::markSent(int row)
{
    setMark(row, sentText, 'S');
}

void RecipientGrid::markFailed(int row)
{
    setMark(row, failedText, 'N');
}

void RecipientGrid::setMark(int row, const QString &text, char entry)
{
    if (!isDataRow(row))
        return;
    m_sentMarks[row - 1] = entry;
    setMarkCell(row, text);
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

void RecipientGrid::announceMarkColumn()
{
    if (dataRowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(dataRowCount() - 1, 0), {Qt::DisplayRole});
}

} // namespace tramelo
