#include "frmMain.h"

#include "journal_window.h"
#include "recipient_grid.h"
#include "recipient_preview.h"
#include "run_status.h"
#include "window_placement.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QToolButton>

namespace tramelo {

// Above the grid: what one recipient will receive, the journal of every
// attempt, and where the test send goes and with whose values.
QLayout *frmMain::buildRecipientTools()
{
    cmbVistaPrevia = new QToolButton;
    cmbVistaPrevia->setText(QStringLiteral("&Vista prèvia del destinatari"));
    cmbVistaPrevia->setToolTip(QStringLiteral("El missatge que rebrà el destinatari seleccionat (també amb un doble clic "
                                              "a la seva adreça)"));
    cmbRegistre = new QToolButton;
    cmbRegistre->setToolButtonStyle(Qt::ToolButtonTextOnly);
    txtAdrecaProva = new QLineEdit(m_preferences.testAddress());
    txtAdrecaProva->setPlaceholderText(QStringLiteral("la del remitent"));
    txtAdrecaProva->setToolTip(QStringLiteral("L'enviament de prova va només a aquesta adreça; buida, a la del remitent"));
    txtAdrecaProva->setMaximumWidth(txtAdrecaProva->fontMetrics().horizontalAdvance(u'x') * 40);
    auto *testAddressLabel = new QLabel(QStringLiteral("Adreça per a la &prova:"));
    testAddressLabel->setBuddy(txtAdrecaProva);
    chkProvaDestinatari = new QCheckBox(QStringLiteral("Enviar la prova amb les &dades del destinatari seleccionat"));

    // The selected row's tools, then the test's address and the journal.
    auto *selectedRow = new QHBoxLayout;
    selectedRow->addWidget(cmbVistaPrevia);
    selectedRow->addWidget(chkProvaDestinatari);
    selectedRow->addStretch();
    auto *campaignWide = new QHBoxLayout;
    campaignWide->addWidget(testAddressLabel);
    campaignWide->addWidget(txtAdrecaProva, 1);
    campaignWide->addStretch();
    campaignWide->addWidget(cmbRegistre);
    auto *tools = new QVBoxLayout;
    tools->setContentsMargins(0, 0, 0, 0);
    tools->setSpacing(2);
    tools->addLayout(selectedRow);
    tools->addLayout(campaignWide);
    return tools;
}

void frmMain::connectRecipientTools()
{
    vistaPrevia = new RecipientPreview(this);
    registre = new JournalWindow(m_campaign, m_run, *m_dialogs, this);
    new RunStatus(*lblEstat, *grdEnviament, *this, m_campaign, m_run, this);
    connect(txtAdrecaProva, &QLineEdit::editingFinished, this,
            [this] { m_preferences.setTestAddress(txtAdrecaProva->text()); });
    connect(cmbVistaPrevia, &QToolButton::clicked, this, [this] { previewRecipient(selectedRecipientRow()); });
    connect(grdEnviament->selectionModel(), &QItemSelectionModel::currentChanged, this, &frmMain::onSelectedRowChanged);
    connect(&m_campaign.grid(), &QAbstractItemModel::modelReset, this, &frmMain::onSelectedRowChanged);
    onSelectedRowChanged();
}

int frmMain::selectedRecipientRow() const
{
    const QModelIndex current = grdEnviament->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

// Both act on the selected row; an open preview follows the selection.
void frmMain::onSelectedRowChanged()
{
    const int row = selectedRecipientRow();
    cmbVistaPrevia->setEnabled(row > 0);
    chkProvaDestinatari->setEnabled(row > 0);
    if (vistaPrevia->isVisible() && !(row > 0 && vistaPrevia->showRow(m_campaign, row)))
        vistaPrevia->hide();
}

void frmMain::previewRecipient(int row)
{
    if (!vistaPrevia->showRow(m_campaign, row))
        return;
    if (!vistaPrevia->isVisible())
        placeBeside(*this, *vistaPrevia, 360);
    vistaPrevia->show();
    vistaPrevia->raise();
    vistaPrevia->activateWindow();
}

int frmMain::testSendRow() const
{
    return chkProvaDestinatari->isChecked() ? selectedRecipientRow() : 0;
}

void frmMain::prepareTestSend()
{
    m_run.setTestSendRow(testSendRow());
    m_run.setTestAddress(txtAdrecaProva->text());
}

} // namespace tramelo
