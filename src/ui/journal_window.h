#pragma once

#include "send_journal_rows.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QSortFilterProxyModel>
#include <QTimer>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tramelo {

class Campaign;
class CampaignRun;
class WindowDialogs;

// The rows of a send journal as it grows: one per attempt, read as they are
// appended.
class SendJournalModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Time, Row, Address, Result, Stage, Reply, ColumnCount };

    // The journal to show; an empty path shows none.
    void follow(const QString &path);
    // Reads what was appended since the last time.
    void refresh();

    const QList<JournalRow> &rows() const { return m_rows; }
    QString path() const { return m_tail ? m_tail->path() : QString(); }
    JournalTail::Status status() const { return m_status; }
    QString reason() const { return m_reason; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The result as the operator reads it: "Enviat", "No enviat", "En dubte".
    static QString resultText(const JournalRow &row);
    static QString cellText(const JournalRow &row, int column);

private:
    std::optional<JournalTail> m_tail;
    QList<JournalRow> m_rows;
    JournalTail::Status m_status = JournalTail::Status::Absent;
    QString m_reason;
};

// The rows of one result, and those with a text in any column; never the
// row that names the campaign, which is no attempt.
class JournalFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    enum class Results { All, Sent, NotSent, InDoubt };
    void setResults(Results results);
    void setSearch(const QString &text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    Results m_results = Results::All;
    QString m_search;
};

// "Registre d'enviaments": the campaign's send journal, read-only, one row
// per attempt (when, which row, which address, what came of it, where it
// failed, what the server replied), by result and by a text, following a
// run as its groups are journaled. The recipients it leaves unsent can be
// saved as a CSV file of the journal's own shape, which Tramelo opens as a
// recipient database.
class JournalWindow : public QDialog
{
    Q_OBJECT
public:
    JournalWindow(Campaign &campaign, CampaignRun &run, WindowDialogs &dialogs, QWidget *parent = nullptr);

    QComboBox *comboResultat = nullptr;
    QLineEdit *txtCerca = nullptr;
    QTableView *grdRegistre = nullptr;
    QLabel *lblEstat = nullptr;
    QPushButton *cmbDesaNoEnviats = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void followProject();
    void refresh();
    void showState();
    void saveUnsent();

    Campaign &m_campaign;
    WindowDialogs &m_dialogs;
    SendJournalModel m_model;
    JournalFilter m_filter;
    QTimer m_poll;
};

} // namespace tramelo
