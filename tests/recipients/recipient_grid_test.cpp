#include "recipient_grid.h"
#include "record_snapshot.h"
#include "gtest_qt_printers.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

// Three recipients; the second one has no address.
RecordSnapshot threeRecipients()
{
    return RecordSnapshot({QStringLiteral("Nom"), QStringLiteral("Correu"), QStringLiteral("Ciutat")},
                          {{QStringLiteral("Anna"), QStringLiteral("anna@example.cat"), QStringLiteral("Vic")},
                           {QStringLiteral("Berta"), std::nullopt, QString()},
                           {QStringLiteral("Pere Àlvarez"), QStringLiteral("pere@example.cat"), std::nullopt}});
}

QStringList row(const RecipientGrid &grid, int r)
{
    QStringList cells;
    for (int c = 0; c < grid.gridColumnCount(); ++c)
        cells.append(grid.cellText(r, c));
    return cells;
}

QStringList markColumn(const RecipientGrid &grid)
{
    QStringList marks;
    for (int r = 1; r <= grid.dataRowCount(); ++r)
        marks.append(grid.markText(r));
    return marks;
}

TEST(RecipientGrid, BeforeAnyFillHoldsOnlyTheHeadersAndNoMarks)
{
    RecipientGrid grid;
    EXPECT_EQ(grid.dataRowCount(), 0);
    EXPECT_EQ(row(grid, 0), QStringList({"Enviat", "Adreça de correu electrònic"}));
    EXPECT_TRUE(grid.sentMarks().isEmpty());
    EXPECT_EQ(grid.rowCount(), 0);
}

TEST(RecipientGrid, FillSharesTheRecordsFromTheirStartAndShowsThemAsAModel)
{
    RecipientGrid grid;
    RecordSnapshot snapshot = threeRecipients();
    snapshot.moveNext(); // the fill reads from the first record wherever the snapshot stands
    grid.fillFrom(snapshot, QStringLiteral("correu"));

    EXPECT_EQ(row(grid, 0).last(), "Resposta");
    EXPECT_EQ(row(grid, 1), QStringList({"", "anna@example.cat", "Anna", "anna@example.cat", "Vic", ""}));
    EXPECT_EQ(grid.rowCount(), 3);
    EXPECT_EQ(grid.columnCount(), 6);
    EXPECT_EQ(grid.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Adreça de correu electrònic");
    EXPECT_EQ(grid.data(grid.index(2, 2), Qt::DisplayRole).toString(), "Pere Àlvarez");
}

TEST(RecipientGrid, AnAddressFieldTheStatementLacksLeavesColumnOneEmpty)
{
    RecipientGrid grid;
    RecordSnapshot snapshot = threeRecipients();
    grid.fillFrom(snapshot, QStringLiteral("Email"));
    EXPECT_EQ(grid.cellText(1, 1), "");
    EXPECT_EQ(grid.cellText(1, 3), "anna@example.cat");
}

class Marks : public testing::Test
{
protected:
    void SetUp() override
    {
        RecordSnapshot snapshot = threeRecipients();
        grid.fillFrom(snapshot, QStringLiteral("Correu"));
    }
    RecipientGrid grid;
};

TEST_F(Marks, SentAndFailedWriteBothTheCellAndTheList)
{
    grid.markSent(1);
    grid.markFailed(3);
    EXPECT_EQ(markColumn(grid), QStringList({"Si", "", "No"}));
    EXPECT_EQ(grid.sentMarks(), QByteArray("S N "));

    grid.clearMarkCell(1);
    EXPECT_EQ(markColumn(grid), QStringList({"", "", "No"}));
    EXPECT_EQ(grid.sentMarks(), QByteArray("S N ")); // the outcome is remembered
}

TEST_F(Marks, RowsOutsideTheDataAreLeftAlone)
{
    grid.markSent(0);
    grid.markFailed(4);
    EXPECT_EQ(row(grid, 0).first(), "Enviat");
    EXPECT_EQ(grid.sentMarks(), QByteArray("    "));
}

TEST_F(Marks, DoubleClickTogglesOnlyMarkCellsOfDataRows)
{
    grid.markSent(1);
    grid.markFailed(2);

    grid.toggleMark(0, 0); // the header
    grid.toggleMark(1, 1); // another column
    grid.toggleMark(2, 3);
    EXPECT_EQ(markColumn(grid), QStringList({"Si", "No", ""}));

    grid.toggleMark(1, 0);
    grid.toggleMark(2, 0);
    grid.toggleMark(3, 0); // never tried
    EXPECT_EQ(markColumn(grid), QStringList({"", "", "No"}));

    grid.toggleMark(1, 0);
    grid.toggleMark(2, 0);
    grid.toggleMark(3, 0);
    EXPECT_EQ(markColumn(grid), QStringList({"Si", "No", ""}));
    EXPECT_EQ(grid.sentMarks(), QByteArray("SN  "));
}

TEST_F(Marks, ClearAllEmptiesEveryCellAndEntry)
{
    grid.markSent(1);
    grid.markFailed(2, QStringLiteral("destinatari: 550 No"), QStringLiteral("550 No")); // and its reply
    grid.clearAllMarks();
    EXPECT_EQ(markColumn(grid), QStringList({"", "", ""}));
    EXPECT_EQ(grid.sentMarks(), QByteArray("    "));
    EXPECT_EQ(grid.cellText(2, grid.replyColumn()), "");
}

TEST_F(Marks, RestoreTakesOneEntryPerDataRow)
{
    grid.restoreMarks("SNx");
    EXPECT_EQ(markColumn(grid), QStringList({"Si", "No", ""}));
    EXPECT_EQ(grid.sentMarks(), QByteArray("SNx"));

    // A list of another length is cut or padded so that every row keeps an entry.
    grid.restoreMarks("N");
    EXPECT_EQ(markColumn(grid), QStringList({"No", "", ""}));
    EXPECT_EQ(grid.sentMarks(), QByteArray("N  "));
    grid.markSent(3);
    EXPECT_EQ(grid.sentMarks(), QByteArray("N S"));
}

TEST_F(Marks, ViewsHearOfEveryChangedCell)
{
    QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
    grid.markSent(2);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toModelIndex(), grid.index(1, 0));

    grid.clearAllMarks();
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(1).toModelIndex(), grid.index(2, grid.replyColumn()));
}

} // namespace
