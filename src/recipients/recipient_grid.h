#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace tramelo {

class RecordSnapshot;
class RecordTable;

// The recipient grid with its sent marks, independent of widgets. Rows are
// numbered as the operator sees them: row 0 holds the headers ("Enviat",
// "Adreça de correu electrònic", then every field), rows 1..R the records.
// Column 0 is the sent-mark text, column 1 the address. As a Qt model it
// shows the data rows, with row 0 as the horizontal header.
//
// The records are not copied: the grid shares the snapshot's compact rows
// and keeps beside them only the mark texts.
class RecipientGrid : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Starting widths of the mark and address columns (1440 twips an inch).
    static constexpr int markColumnWidthTwips = 600;
    static constexpr int addressColumnWidthTwips = 4000;

    explicit RecipientGrid(QObject *parent = nullptr);
    ~RecipientGrid() override;

    // ---- the grid in the operator's terms ---------------------------------
    int dataRowCount() const;
    int gridColumnCount() const;
    QString cellText(int row, int column) const;

    // Header row only, 2 columns; the sent-mark list left as it is.
    void resetToHeaders();
    // Replaces every row with the snapshot's records (read from its start),
    // the address from the named field, nulls as empty cells; then the
    // sent-mark list holds data rows + 1 entries, all " ".
    void fillFrom(RecordSnapshot &snapshot, const QString &addressField);

    // ---- sent marks --------------------------------------------------------
    // One character per entry ("S", "N" or " "), entry r - 1 for grid row r.
    QByteArray sentMarks() const { return m_sentMarks; }
    QString markText(int row) const { return cellText(row, 0); }
    // Whether the mark cell shows "Si" (sent) or "No" (failed).
    bool showsSent(int row) const;
    bool showsFailed(int row) const;
    void clearMarkCell(int row);
    void markSent(int row);
    void markFailed(int row);
    void toggleMark(int row, int column);
    void clearAllMarks();
    // Cells from a list read from a project file (exactly R entries).
    void restoreMarks(const QByteArray &marks);

    // ---- QAbstractTableModel ----------------------------------------------
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool isDataRow(int row) const { return row >= 1 && row <= dataRowCount(); }
    void setMark(int row, const QString &text, char entry);
    void setMarkCell(int row, const QString &text);
    void announceMarkColumn();

    QStringList m_headers;
    std::shared_ptr<const RecordTable> m_records;
    int m_addressField = -1;
    std::vector<QString> m_markCells; // column 0 of rows 1..R
    QByteArray m_sentMarks;
};

} // namespace tramelo
