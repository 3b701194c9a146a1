#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace tramelo {

class RecordSnapshot;
class RecordTable;

// The recipient grid with its sent marks, independent of widgets. Rows are
// numbered as the operator sees them: row 0 holds the headers ("Enviat",
// "Adreça de correu electrònic", every field, then "Resposta"), rows 1..R
// the records. Column 0 is the sent-mark text, column 1 the address, the
// last column the server's last reply for the row. As a Qt model it shows
// the data rows, with row 0 as the horizontal header, and the reason of
// each "No" as the tool tip of its mark.
//
// The records are not copied: the grid shares the snapshot's compact rows
// and keeps beside them a byte per row for its mark. A grid filled from a
// streamed snapshot keeps no cells at all, only the marks: its field
// columns and replies are empty, as nobody looks at them.
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
    // As before any fill: the header row only and no sent-mark list.
    void clearRows();
    // Replaces every row with the snapshot's records (read from its start),
    // the address from the named field, nulls as empty cells, no replies;
    // then the sent-mark list holds data rows + 1 entries, all " ".
    void fillFrom(RecordSnapshot &snapshot, const QString &addressField);
    // The field whose values fill column 1; empty before a fill or when the
    // statement has no such field.
    QString addressFieldName() const;
    // Whether the rows' cells are here (not so after a streamed snapshot).
    bool keepsCells() const { return m_records != nullptr; }
    // The rows behind the cells, shared; none when the grid keeps no cells.
    std::shared_ptr<const RecordTable> records() const { return m_records; }

    // ---- sent marks --------------------------------------------------------
    // One character per entry ("S", "N" or " "), entry r - 1 for grid row r.
    QByteArray sentMarks() const { return m_sentMarks; }
    QString markText(int row) const;
    // Whether the mark cell shows "Si" (sent), "No" (failed) or "Dubte" (in
    // doubt: the message went, the server's answer to its end never came).
    bool showsSent(int row) const;
    bool showsFailed(int row) const;
    bool showsInDoubt(int row) const;
    // How many mark cells show "Si" and "No".
    struct MarkCounts {
        qint64 sent = 0;
        qint64 failed = 0;
    };
    MarkCounts markCounts() const;
    // Whether any row is marked, in its cell or in the sent-mark list.
    bool hasMarks() const;
    void clearMarkCell(int row);
    // The reply goes to the last column; the reason of a failure, or of the
    // doubt, to the mark's tool tip. A row in doubt has the entry "N" in the
    // sent-mark list: it was not known to be sent.
    void markSent(int row, const QString &reply = {});
    void markFailed(int row, const QString &reason = {}, const QString &reply = {});
    void markInDoubt(int row, const QString &reason = {}, const QString &reply = {});
    QString failureReason(int row) const;
    int replyColumn() const { return m_records ? gridColumnCount() - 1 : -1; }
    void toggleMark(int row, int column);
    void clearAllMarks();
    // Cells from a list read from a project file (exactly R entries); a row
    // shown "Dubte" stays so unless its entry is "S".
    void restoreMarks(const QByteArray &marks);
    // What the send journal says of a row's address: it was sent ("Si"), it
    // is in doubt ("Dubte", with why: unless the row shows "Si"), or nothing.
    // Every row is marked by its address, wherever it is now: the grid's own
    // cells, or the named field of the records, read from their start in
    // step with the rows, for a grid that keeps no cells.
    struct JournalMark {
        enum class Kind { None, Sent, InDoubt };
        Kind kind = Kind::None;
        QString reason;
    };
    using JournalLookup = std::function<JournalMark(int row, const QString &address)>;
    void restoreJournalMarks(const JournalLookup &lookup);
    void restoreJournalMarks(RecordSnapshot &records, const QString &addressField, const JournalLookup &lookup);

    // ---- QAbstractTableModel ----------------------------------------------
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool isDataRow(int row) const { return row >= 1 && row <= dataRowCount(); }
    void setMark(int row, char entry, const QString &reason, const QString &reply);
    void setMarkCell(int row, char entry);
    void showJournalMark(int row, const JournalMark &mark);
    void announceMarkColumn();

    QStringList m_headers;
    std::shared_ptr<const RecordTable> m_records;
    int m_rowCount = 0;
    int m_addressField = -1;
    QByteArray m_markCells; // column 0 of rows 1..R, one entry each as in the sent-mark list
    struct Note {
        QString reason; // why it was not sent
        QString reply;
    };
    QHash<int, Note> m_notes; // rows marked by a run, by grid row
    QByteArray m_sentMarks;
};

} // namespace tramelo
