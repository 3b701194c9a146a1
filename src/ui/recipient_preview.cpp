#include "recipient_preview.h"

#include "address_validation.h"
#include "body_page.h"
#include "body_preparation.h"
#include "campaign.h"
#include "message_page.h"
#include "plain_text.h"
#include "recipient_grid.h"
#include "recipient_message.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tramelo {
namespace {

QLabel *valueLabel()
{
    auto *label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

QString senderText(const CampaignSettings &settings)
{
    const QString name = trimBlanks(settings.text(Setting::SenderName));
    const QString address = trimBlanks(settings.text(Setting::SenderAddress));
    return name.isEmpty() ? address : QStringLiteral("%1 <%2>").arg(name, address);
}

// Why the run will not send this row a message, if it will not.
QString notSentBecause(const RecipientGrid &grid, int row, const QString &address)
{
    if (grid.showsSent(row))
        return QStringLiteral("Aquest destinatari ja està marcat com a enviat: l'enviament el saltarà.");
    if (!isValidEmailAddress(address))
        return QStringLiteral("L'adreça no és vàlida: l'enviament marcarà aquest destinatari amb \"No\" sense enviar-li res.");
    return {};
}

} // namespace

RecipientPreview::RecipientPreview(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Vista prèvia del destinatari"));
    lblAssumpte = valueLabel();
    lblRemitent = valueLabel();
    lblDestinatariTitol = new QLabel(QStringLiteral("Per a:"));
    lblDestinatari = valueLabel();
    lblAvis = valueLabel();
    lblAvis->setStyleSheet(QStringLiteral("color: #a00000"));
    lblAvis->hide();

    auto *headers = new QFormLayout;
    headers->addRow(QStringLiteral("Assumpte:"), lblAssumpte);
    headers->addRow(QStringLiteral("De:"), lblRemitent);
    headers->addRow(lblDestinatariTitol, lblDestinatari);

    planaMissatge = new MessagePage;
    txtMissatge = new QPlainTextEdit;
    txtMissatge->setReadOnly(true);
    txtMissatge->setLineWrapMode(QPlainTextEdit::NoWrap);
    tabs = new QTabWidget;
    tabs->addTab(planaMissatge, QStringLiteral("Vista HTML"));
    tabs->addTab(txtMissatge, QStringLiteral("Vista texte"));

    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("Tancar"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(headers);
    layout->addWidget(lblAvis);
    layout->addWidget(tabs, 1);
    layout->addWidget(buttons);
    resize(560, 480);
}

RecipientPreview::~RecipientPreview() = default;

bool RecipientPreview::showRow(Campaign &campaign, int row)
{
    const QString attachments = BuildAttachmentList(campaign);
    const std::optional<OutgoingMessage> message = messageForRow(campaign, row, attachments);
    if (!message)
        return false;
    const CampaignSettings &settings = campaign.settings();
    const bool inBcc = message->to.isEmpty();
    const QString address = inBcc ? message->bcc : message->to;
    setWindowTitle(QStringLiteral("Vista prèvia del destinatari: fila %1").arg(row));
    lblAssumpte->setText(message->subject);
    lblRemitent->setText(senderText(settings));
    // A group's message goes to all its members in blind copy, this one among them.
    lblDestinatariTitol->setText(inBcc ? QStringLiteral("Cco:") : QStringLiteral("Per a:"));
    lblDestinatari->setText(address);
    const QString warning = notSentBecause(campaign.grid(), row, address);
    lblAvis->setText(warning);
    lblAvis->setVisible(!warning.isEmpty());

    // Every message goes as HTML, a typed body too: it is shown as its reader will show it.
    planaMissatge->setCarriedFiles(message->attachments);
    showHtmlBody(*planaMissatge, message->body, trimBlanks(settings.text(Setting::FieldDelimiterLeft)));
    txtMissatge->setPlainText(message->body);
    return true;
}

} // namespace tramelo
