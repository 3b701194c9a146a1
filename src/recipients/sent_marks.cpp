#include "recipient_grid.h"

#include "record_snapshot.h"

#include <algorithm>

namespace tramelo {

namespace {

const QString sentText = QStringLiteral("Si");
const QString failedText = QStringLiteral("No");
const QString inDoubtText = QStringLiteral("Dubte");
// The mark cell of a row in doubt; its entry in the sent-mark list is 'N'.
constexpr char inDoubtCell = 'D';

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
    case inDoubtCell:
        return inDoubtText;
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

bool RecipientGrid::showsInDoubt(int row) const
{
    return isDataRow(row) && m_markCells.at(row - 1) == inDoubtCell;
}

RecipientGrid::MarkCounts RecipientGrid::markCounts() const
{
    return {m_markCells.count('S'), m_markCells.count('N')};
}

bool RecipientGrid::hasMarks() const
{
    const auto marked = [](char entry) { return entry == 'S' || entry == 'N' || entry == inDoubtCell; };
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

void RecipientGrid::markInDoubt(int row, const QString &reason, const QString &reply)
{
    setMark(row, inDoubtCell, reason, reply);
}

QString RecipientGrid::failureReason(int row) const
{
    return m_notes.value(row).reason;
}

void RecipientGrid::setMark(int row, char entry, const QString &reason, const QString &reply)
{
    if (!isDataRow(row))
        return;
    m_sentMarks[row - 1] = entry == inDoubtCell ? 'N' : entry;
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
    for (int row = 1; row <= dataRowCount(); ++row) {
        // A row the journal showed in doubt stays so, unless it was sent.
        char &cell = m_markCells[row - 1];
        const char entry = shownEntry(m_sentMarks.at(row - 1));
        if (cell != inDoubtCell || entry == 'S')
            cell = entry;
    }
    announceMarkColumn();
}

void RecipientGrid::restoreJournalMarks(const JournalLookup &lookup)
{
    for (int row = 1; row <= dataRowCount(); ++row)
        showJournalMark(row, lookup(row, cellText(row, 1)));
    announceMarkColumn();
}

void RecipientGrid::restoreJournalMarks(RecordSnapshot &records, const QString &addressField, const JournalLookup &lookup)
{
    for (int row = 1; row <= dataRowCount() && !records.atEnd(); ++row, records.moveNext())
        showJournalMark(row, lookup(row, records.value(addressField).value_or(QString())));
    announceMarkColumn();
}

void RecipientGrid::showJournalMark(int row, const JournalMark &mark)
{
    switch (mark.kind) {
    case JournalMark::Kind::None:
        return;
    case JournalMark::Kind::Sent:
        m_markCells[row - 1] = 'S';
        m_sentMarks[row - 1] = 'S';
        return;
    case JournalMark::Kind::InDoubt:
        // A row the grid shows sent stays sent.
        if (m_markCells.at(row - 1) == 'S')
            return;
        m_markCells[row - 1] = inDoubtCell;
        m_sentMarks[row - 1] = 'N';
        if (keepsCells())
            m_notes.insert(row, {mark.reason, m_notes.value(row).reply});
        return;
    }
}

void RecipientGrid::announceMarkColumn()
{
    if (dataRowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(dataRowCount() - 1, gridColumnCount() - 1),
                           {Qt::DisplayRole, Qt::ToolTipRole});
}

} // namespace tramelo
