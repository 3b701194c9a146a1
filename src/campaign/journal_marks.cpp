#include "journal_marks.h"

#include "campaign.h"
#include "recipient_source.h"

namespace tramelo {

JournalMarks markRowsFromJournal(Campaign &campaign, const JournalReading &journal)
{
    JournalMarks marks;
    marks.status = journal.status;
    marks.path = journal.path;
    marks.reason = journal.reason;
    if (journal.sentAddresses.isEmpty() && journal.inDoubt.isEmpty())
        return marks;
    using Mark = RecipientGrid::JournalMark;
    const RecipientGrid &grid = campaign.grid();
    marks.failed = !RestoreJournalMarks(campaign, [&](int row, const QString &address) {
        const QString key = addressKey(address);
        if (journal.sentAddresses.contains(key)) {
            ++marks.rows;
            return Mark{Mark::Kind::Sent, {}};
        }
        const auto doubt = journal.inDoubt.constFind(key);
        if (doubt == journal.inDoubt.constEnd() || grid.showsSent(row))
            return Mark{};
        marks.inDoubt.append({row, address, *doubt});
        return Mark{Mark::Kind::InDoubt, *doubt};
    });
    return marks;
}

qint64 rowsToSend(const RecipientGrid &grid, bool resendInDoubt)
{
    qint64 rows = 0;
    for (int row = 1; row <= grid.dataRowCount(); ++row)
        rows += grid.showsSent(row) || (grid.showsInDoubt(row) && !resendInDoubt) ? 0 : 1;
    return rows;
}

} // namespace tramelo
