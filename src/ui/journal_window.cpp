#include "journal_window.h"

#include "campaign.h"
#include "counted_text.h"
#include "run_driver.h"
#include "window_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace tramelo {
namespace {

// Another program (tramelo-run) may be appending to the journal.
constexpr int pollMilliseconds = 1000;

const QString csvFilter = QStringLiteral("Fitxers CSV (*.csv);;Tots els fitxers (*)");

QLabel *buddyLabel(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

} // namespace

// ---- the rows ---------------------------------------------------------------------

void SendJournalModel::follow(const QString &path)
{
    if (path == this->path() && m_tail)
        return;
    beginResetModel();
    m_rows.clear();
    m_status = JournalTail::Status::Absent;
    m_reason.clear();
    if (path.isEmpty())
        m_tail.reset();
    else
        m_tail.emplace(path);
    endResetModel();
    refresh();
}

void SendJournalModel::refresh()
{
    if (!m_tail)
        return;
    JournalTail::Reading reading = m_tail->readAppended();
    m_status = reading.status;
    m_reason = reading.reason;
    if (reading.fromStart) {
        beginResetModel();
        m_rows = std::move(reading.rows);
        endResetModel();
        return;
    }
    if (reading.rows.isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + reading.rows.size() - 1));
    m_rows += reading.rows;
    endInsertRows();
}

int SendJournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SendJournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString SendJournalModel::resultText(const JournalRow &row)
{
    if (row.sent())
        return QStringLiteral("Enviat");
    if (row.failed())
        return QStringLiteral("No enviat");
    if (row.inDoubt())
        return QStringLiteral("En dubte");
    return row.result;
}

QString SendJournalModel::cellText(const JournalRow &row, int column)
{
    switch (column) {
    case Time:
        return row.time;
    case Row:
        return row.row > 0 ? QString::number(row.row) : QString();
    case Address:
        return row.address;
    case Result:
        return resultText(row);
    case Stage:
        return row.stage;
    case Reply:
        return row.reply;
    }
    return {};
}

QVariant SendJournalModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const JournalRow &row = m_rows[index.row()];
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == Reply))
        return cellText(row, index.column());
    if (role == Qt::TextAlignmentRole && index.column() == Row)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant SendJournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList headers = {QStringLiteral("Data i hora"), QStringLiteral("Fila"),
                                        QStringLiteral("Adreça"),      QStringLiteral("Resultat"),
                                        QStringLiteral("Etapa"),       QStringLiteral("Resposta")};
    return headers.value(section);
}

// ---- the filter ---------------------------------------------------------------------

void JournalFilter::setResults(Results results)
{
    m_results = results;
    invalidateRowsFilter();
}

void JournalFilter::setSearch(const QString &text)
{
    m_search = text.trimmed();
    invalidateRowsFilter();
}

bool JournalFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const JournalRow &row = static_cast<const SendJournalModel *>(sourceModel())->rows().at(sourceRow);
    if (row.namesCampaign() || (m_results == Results::Sent && !row.sent())
        || (m_results == Results::NotSent && !row.failed()) || (m_results == Results::InDoubt && !row.inDoubt()))
        return false;
    if (m_search.isEmpty())
        return true;
    for (int column = 0; column < SendJournalModel::ColumnCount; ++column) {
        if (SendJournalModel::cellText(row, column).contains(m_search, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// ---- the window ---------------------------------------------------------------------

JournalWindow::JournalWindow(Campaign &campaign, CampaignRun &run, WindowDialogs &dialogs, QWidget *parent)
    : QDialog(parent)
    , m_campaign(campaign)
    , m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Registre d'enviaments"));
    comboResultat = new QComboBox;
    comboResultat->addItems(
        {QStringLiteral("Tots"), QStringLiteral("Enviats"), QStringLiteral("No enviats"), QStringLiteral("En dubte")});
    txtCerca = new QLineEdit;
    txtCerca->setClearButtonEnabled(true);
    txtCerca->setPlaceholderText(QStringLiteral("una adreça, una etapa, una resposta…"));
    m_filter.setSourceModel(&m_model);
    grdRegistre = new QTableView;
    grdRegistre->setModel(&m_filter);
    grdRegistre->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdRegistre->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdRegistre->setWordWrap(false);
    grdRegistre->verticalHeader()->hide();
    grdRegistre->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdRegistre->verticalHeader()->setDefaultSectionSize(grdRegistre->fontMetrics().height() + 6);
    grdRegistre->horizontalHeader()->setStretchLastSection(true);
    // Each column as wide as its longest usual value; the reply takes the rest.
    const QFontMetrics metrics = grdRegistre->fontMetrics();
    for (const auto &[column, widest] : {std::pair{SendJournalModel::Time, "0000-00-00T00:00:00+00:00"},
                                         {SendJournalModel::Row, "000000"},
                                         {SendJournalModel::Address, "nom.cognom@example.com"},
                                         {SendJournalModel::Result, "No enviat"},
                                         {SendJournalModel::Stage, "temps esgotat"}})
        grdRegistre->setColumnWidth(column, metrics.horizontalAdvance(QString::fromUtf8(widest)) + 16);
    lblEstat = new QLabel;
    lblEstat->setWordWrap(true);
    lblEstat->setTextFormat(Qt::PlainText);
    cmbDesaNoEnviats = new QPushButton(QStringLiteral("&Desa els no enviats com a CSV…"));
    cmbDesaNoEnviats->setToolTip(QStringLiteral("Un fitxer amb l'últim intent de cada destinatari que encara no ha rebut "
                                                "el missatge, que Tramelo pot obrir com a base de dades"));
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(cmbDesaNoEnviats, QDialogButtonBox::ActionRole);
    buttons->addButton(QStringLiteral("&Tanca"), QDialogButtonBox::RejectRole);

    auto *filters = new QHBoxLayout;
    filters->addWidget(buddyLabel(QStringLiteral("&Resultat:"), comboResultat));
    filters->addWidget(comboResultat);
    filters->addSpacing(12);
    filters->addWidget(buddyLabel(QStringLiteral("&Cerca:"), txtCerca));
    filters->addWidget(txtCerca, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(grdRegistre, 1);
    layout->addWidget(lblEstat);
    layout->addWidget(buttons);
    resize(760, 480);

    connect(comboResultat, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_filter.setResults(JournalFilter::Results(index)); });
    connect(txtCerca, &QLineEdit::textChanged, &m_filter, &JournalFilter::setSearch);
    connect(cmbDesaNoEnviats, &QPushButton::clicked, this, &JournalWindow::saveUnsent);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &JournalWindow::showState);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &JournalWindow::showState);
    connect(&campaign, &Campaign::projectPathChanged, this, &JournalWindow::followProject);
    // A group's rows are on the disk when its marks are shown.
    connect(&run, &CampaignRun::rowsMarked, this, &JournalWindow::refresh);
    m_poll.setInterval(pollMilliseconds);
    connect(&m_poll, &QTimer::timeout, this, &JournalWindow::refresh);
}

void JournalWindow::showEvent(QShowEvent *event)
{
    followProject();
    refresh();
    m_poll.start();
    QDialog::showEvent(event);
}

void JournalWindow::hideEvent(QHideEvent *event)
{
    m_poll.stop();
    QDialog::hideEvent(event);
}

void JournalWindow::followProject()
{
    const QString project = m_campaign.projectPath();
    m_model.follow(project.isEmpty() ? QString() : SendJournal::pathFor(project));
    showState();
}

void JournalWindow::refresh()
{
    if (!isVisible())
        return;
    // New rows keep the view at its end when it was there.
    QScrollBar *rows = grdRegistre->verticalScrollBar();
    const bool atEnd = rows->value() == rows->maximum();
    m_model.refresh();
    if (atEnd)
        grdRegistre->scrollToBottom();
}

void JournalWindow::showState()
{
    const QString path = m_model.path();
    const bool read = m_model.status() == JournalTail::Status::Read;
    cmbDesaNoEnviats->setEnabled(read && !m_model.rows().isEmpty());
    if (path.isEmpty()) {
        lblEstat->setText(QStringLiteral("Aquesta campanya encara no s'ha desat: el registre d'enviaments es desa al "
                                         "costat del projecte."));
        return;
    }
    setWindowTitle(QStringLiteral("Registre d'enviaments — %1").arg(QFileInfo(path).fileName()));
    if (m_model.status() == JournalTail::Status::Unreadable) {
        lblEstat->setText(QStringLiteral("No es pot llegir el registre d'enviaments %1: %2").arg(path, m_model.reason()));
        return;
    }
    if (!read) {
        lblEstat->setText(QStringLiteral("Encara no s'ha registrat cap enviament a %1.").arg(path));
        return;
    }
    const QList<JournalRow> &rows = m_model.rows();
    const qint64 sent = std::count_if(rows.begin(), rows.end(), [](const JournalRow &row) { return row.sent(); });
    const qint64 failed = std::count_if(rows.begin(), rows.end(), [](const JournalRow &row) { return row.failed(); });
    const qint64 inDoubt = std::count_if(rows.begin(), rows.end(), [](const JournalRow &row) { return row.inDoubt(); });
    const QString doubt = inDoubt == 0 ? QString() : QStringLiteral(", %1 en dubte").arg(inDoubt);
    lblEstat->setText(QStringLiteral("%1: %2 (%3, %4%5).")
                          .arg(path, countedText(sent + failed + inDoubt, QStringLiteral("intent"), QStringLiteral("intents")),
                               countedText(sent, QStringLiteral("enviat"), QStringLiteral("enviats")),
                               countedText(failed, QStringLiteral("no enviat"), QStringLiteral("no enviats")), doubt));
}

void JournalWindow::saveUnsent()
{
    const QList<JournalRow> unsent = unsentRows(m_model.rows());
    if (unsent.isEmpty()) {
        m_dialogs.showMessage(this, QStringLiteral("Al registre no hi ha cap destinatari que hagi quedat sense enviar."),
                              MessageIcon::Information);
        return;
    }
    const QString journal = m_model.path();
    const QString start = journal.chopped(QStringLiteral(".enviaments.csv").size()) + QStringLiteral(".no-enviats.csv");
    const QString path = m_dialogs.chooseFileToSave(this, start, csvFilter);
    if (path.isEmpty())
        return;
    // It lists recipients, as the journal does: readable by its owner only.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)
        || file.write(journalOf(unsent)) < 0 || !file.commit()) {
        m_dialogs.showMessage(this, QStringLiteral("No s'ha pogut desar %1: %2").arg(path, file.errorString()),
                              MessageIcon::Error);
    }
}

} // namespace tramelo
