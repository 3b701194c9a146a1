#include "frmMain.h"

#include "recipient_grid.h"
#include "recipient_preview.h"
#include "run_status.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QTableView>
#include <QToolButton>

namespace tramelo {

QLayout *frmMain::buildRecipientTools()
{
    cmbVistaPrevia = new QToolButton;
    cmbVistaPrevia->setText(QStringLiteral("Vista prèvia del destinatari"));
    cmbVistaPrevia->setToolTip(QStringLiteral("El missatge que rebrà el destinatari seleccionat (també amb un doble clic "
                                              "a la seva adreça)"));
    chkProvaDestinatari = new QCheckBox(QStringLiteral("Enviar la prova amb les dades del destinatari seleccionat"));
    auto *tools = new QHBoxLayout;
    tools->setContentsMargins(0, 0, 0, 0);
    tools->addWidget(cmbVistaPrevia);
    tools->addWidget(chkProvaDestinatari);
    tools->addStretch();
    return tools;
}

void frmMain::connectRecipientTools()
{
    vistaPrevia = new RecipientPreview(this);
    new RunStatus(*lblEstat, *grdEnviament, *this, m_campaign, m_run, this);
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
    vistaPrevia->show();
    vistaPrevia->raise();
    vistaPrevia->activateWindow();
}

int frmMain::testSendRow() const
{
    return chkProvaDestinatari->isChecked() ? selectedRecipientRow() : 0;
}

} // namespace tramelo
