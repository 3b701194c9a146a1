#include "recipient_grid.h"

#include "record_snapshot.h"

namespace tramelo {

namespace {

QStringList headerRow()
{
    return {QStringLiteral("Enviat"), QStringLiteral("Adreça de correu electrònic")};
}

const QString replyHeader = QStringLiteral("Resposta");

} // namespace

RecipientGrid::RecipientGrid(QObject *parent)
    : QAbstractTableModel(parent)
    , m_headers(headerRow())
{
}

RecipientGrid::~RecipientGrid() = default;

int RecipientGrid::dataRowCount() const
{
    return m_rowCount;
}

int RecipientGrid::gridColumnCount() const
{
    return int(m_headers.size());
}

QString RecipientGrid::cellText(int row, int column) const
{
    if (column < 0 || column >= gridColumnCount())
        return {};
    if (row == 0)
        return m_headers[column];
    if (!isDataRow(row))
        return {};
    if (column == 0)
        return markText(row);
    if (column == replyColumn())
        return m_notes.value(row).reply;
    // Column 1 repeats the address field; the fields follow from column 2.
    const int field = column == 1 ? m_addressField : column - 2;
    if (field < 0 || !m_records)
        return {};
    return m_records->text(row - 1, field).toString();
}

QString RecipientGrid::addressFieldName() const
{
    return m_addressField >= 0 ? m_headers.value(2 + m_addressField) : QString();
}

void RecipientGrid::resetToHeaders()
{
    beginResetModel();
    m_headers = headerRow();
    m_records.reset();
    m_rowCount = 0;
    m_addressField = -1;
    m_markCells.clear();
    m_notes.clear();
    endResetModel();
}

void RecipientGrid::fillFrom(RecordSnapshot &snapshot, const QString &addressField)
{
    beginResetModel();
    m_records = snapshot.table();
    m_rowCount = int(snapshot.recordCount());
    // An address field the statement does not have leaves column 1 empty.
    m_addressField = snapshot.fieldIndex(addressField);
    m_headers = headerRow() + snapshot.fieldNames() + QStringList{replyHeader};
    const int rows = dataRowCount();
    m_markCells = QByteArray(rows, ' ');
    m_notes.clear();
    m_sentMarks = QByteArray(rows + 1, ' ');
    endResetModel();
}

void RecipientGrid::clearRows()
{
    resetToHeaders();
    m_sentMarks.clear();
}

int RecipientGrid::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : dataRowCount();
}

int RecipientGrid::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : gridColumnCount();
}

QVariant RecipientGrid::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = index.row() + 1;
    if (role == Qt::DisplayRole)
        return cellText(row, index.column());
    if (role == Qt::ToolTipRole && index.column() == 0 && (showsFailed(row) || showsInDoubt(row)))
        return failureReason(row);
    if (role == Qt::ToolTipRole && index.column() == replyColumn())
        return cellText(row, index.column());
    return {};
}

QVariant RecipientGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return cellText(0, section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace tramelo
