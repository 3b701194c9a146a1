#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QTabWidget;

namespace tramelo {

class Campaign;
class MessagePage;

// "Vista prèvia del destinatari": what one recipient row of the grid will
// receive, as the run composes it (the same merge, the same attachment
// list): the subject, the sender, the recipient, and the body rendered with
// the images the message carries ("Vista HTML") and as text ("Vista texte").
// Not modal: the operator can go on choosing rows while it is open.
class RecipientPreview : public QDialog
{
    Q_OBJECT
public:
    explicit RecipientPreview(QWidget *parent = nullptr);
    ~RecipientPreview() override;

    // Shows grid row `row`; false, showing nothing, when there is no such row.
    bool showRow(Campaign &campaign, int row);

    QLabel *lblAssumpte = nullptr;
    QLabel *lblRemitent = nullptr;
    QLabel *lblDestinatariTitol = nullptr; // "Per a:", or "Cco:" for a group
    QLabel *lblDestinatari = nullptr;
    // Why the run would not send this row, when it would not.
    QLabel *lblAvis = nullptr;
    QTabWidget *tabs = nullptr;
    MessagePage *planaMissatge = nullptr;
    QPlainTextEdit *txtMissatge = nullptr;
};

} // namespace tramelo
