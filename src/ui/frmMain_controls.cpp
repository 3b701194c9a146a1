#include "frmMain.h"

#include "campaign_numbers.h"
#include "connection_security.h"
#include "recipient_grid.h"
#include "seconds_box.h"
#include "setting_bindings.h"
#include "status_line.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace tramelo {
namespace {

constexpr int twipsPerPixel = 15;

// The password box shows "*" for every character, whatever the style's own
// mask character is.
class AsteriskPasswordStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Its size hint is the whole of its contents, so that a window sized to its
// hint shows them without a scroll bar; a smaller window still scrolls.
class WholeContentsScrollArea : public QScrollArea
{
public:
    QSize sizeHint() const override
    {
        const int frame = 2 * frameWidth();
        return widget() ? widget()->sizeHint() + QSize(frame, frame) : QScrollArea::sizeHint();
    }
};

// A list turns with the mouse wheel only once it has the focus: a page
// scrolled by the wheel goes on scrolling over it rather than choosing
// another entry on the way.
class FocusedWheelComboBox : public QComboBox
{
public:
    FocusedWheelComboBox() { setFocusPolicy(Qt::StrongFocus); }

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        if (hasFocus())
            QComboBox::wheelEvent(event);
        else
            event->ignore();
    }
};

// A column sized to its contents is kept to this, so that one long value
// does not push the others out of sight.
constexpr int maxFittedColumnWidth = 320;

// The form keeps together on a wide screen: its boxes grow to this and no further.
constexpr int maxFormWidth = 900;

// A label whose mnemonic, when it has one, takes the operator to its control.
QLabel *label(const QString &text, QWidget *buddy = nullptr)
{
    auto *shown = new QLabel(text);
    shown->setBuddy(buddy);
    return shown;
}

// A pair of options on one row. Reached through its label's mnemonic, the
// focus goes to the option chosen, without choosing the other; the arrow
// keys then move between them.
QWidget *optionRow(QRadioButton *first, QRadioButton *second)
{
    auto *options = new QWidget;
    auto *layout = new QHBoxLayout(options);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(first);
    layout->addWidget(second);
    layout->addStretch();
    options->setFocusProxy(first);
    for (QRadioButton *option : {first, second}) {
        QObject::connect(option, &QRadioButton::toggled, options, [options, option](bool checked) {
            if (checked)
                options->setFocusProxy(option);
        });
    }
    return options;
}

// A multi-line box the height of the given number of lines; Tab moves on.
QPlainTextEdit *linesBox(int lines)
{
    auto *box = new QPlainTextEdit;
    box->setTabChangesFocus(true);
    box->document()->setDocumentMargin(2);
    const int margins = 2 * (box->frameWidth() + int(box->document()->documentMargin()));
    box->setFixedHeight(box->fontMetrics().lineSpacing() * lines + margins);
    return box;
}

QPushButton *chooserButton(const QString &caption)
{
    auto *button = new QPushButton(caption);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(caption) + 24);
    return button;
}

QHBoxLayout *row(std::initializer_list<QWidget *> widgets, bool stretchAtEnd = false)
{
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    for (QWidget *widget : widgets)
        layout->addWidget(widget);
    if (stretchAtEnd)
        layout->addStretch();
    return layout;
}

QGridLayout *frameGrid(QGroupBox *frame)
{
    auto *grid = new QGridLayout(frame);
    grid->setContentsMargins(8, 0, 8, 2);
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(1, 1);
    return grid;
}

// The "Definició" rows: a label in column 0, its control in column 1, a
// second pair in columns 2 and 3; a control alone spans columns 1 to 3.
constexpr int wholeRow = 3;

// Its icon and tool tip are those of the action it is given.
QToolButton *iconButton(int sizeInTwips)
{
    auto *button = new QToolButton;
    const int side = sizeInTwips / twipsPerPixel;
    button->setFixedSize(side, side);
    button->setIconSize(QSize(side - 9, side - 9));
    // Taking the focus on a click makes the box being edited lose it first,
    // so that its leaving rules run before the button's action.
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

} // namespace

void frmMain::buildControls()
{
    for (int n : {0, 1, 2, 3, 4, 5, 7, 9, 10, 11, 15, 16, 17})
        txtFields[n] = new QLineEdit;
    txtFields[12] = new SecondsBox(double(maxWaitMilliseconds) / 1000);
    txtFields[6] = linesBox(2);
    txtFields[13] = linesBox(2);
    txtFields[14] = linesBox(2);
    auto *bodyText = new QPlainTextEdit;
    bodyText->setReadOnly(true);
    bodyText->setLineWrapMode(QPlainTextEdit::NoWrap);
    bodyText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    bodyText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtFields[8] = bodyText;

    auto *password = static_cast<QLineEdit *>(txtFields[4]);
    password->setEchoMode(QLineEdit::Password);
    auto *passwordStyle = new AsteriskPasswordStyle;
    passwordStyle->setParent(this);
    password->setStyle(passwordStyle);
    for (int n : {15, 16}) {
        auto *quote = static_cast<QLineEdit *>(txtFields[n]);
        quote->setMaxLength(1);
        quote->setAlignment(Qt::AlignCenter);
        quote->setFixedWidth(quote->fontMetrics().horizontalAdvance(QLatin1Char('W')) + 14);
    }
    for (int n : {9, 10, 11})
        txtFields[n]->setFixedWidth(txtFields[n]->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 5 + 16);

    for (QCheckBox *&box : chkFields)
        box = new QCheckBox;
    optFields = {new QRadioButton(QStringLiteral("Taula")), new QRadioButton(QStringLiteral("Instrucció SQL")),
                 new QRadioButton(QStringLiteral("Arxiu")), new QRadioButton(QStringLiteral("Texte"))};
    for (int pair : {0, 2}) {
        auto *group = new QButtonGroup(this);
        group->addButton(optFields[pair]);
        group->addButton(optFields[pair + 1]);
    }
    for (QComboBox *&list : comboFields) {
        list = new FocusedWheelComboBox;
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        list->setMinimumContentsLength(12);
    }
    comboSeguretat = new FocusedWheelComboBox;
    comboSeguretat->addItems(connectionSecurityItems());
    for (QPushButton *&chooser : cmbCercar)
        chooser = chooserButton(QStringLiteral("..."));
    cmbODBC = chooserButton(QStringLiteral("ODBC"));
    Label1 = label(QStringLiteral("Cos:"), txtFields[6]);
    Label9 = label(QStringLiteral("Taula a fer servir:"), comboFields[0]);

    sstabGeneral = new QTabWidget;
    sstabGeneral->addTab(buildDefinitionTab(), QStringLiteral("Definició"));
    planaWeb = new QTextBrowser;
    planaWeb->setOpenLinks(false);
    sstabGeneral->addTab(planaWeb, QStringLiteral("Vista HTML"));
    sstabGeneral->addTab(buildTextViewTab(), QStringLiteral("Vista texte"));
    sstabGeneral->addTab(buildSendingTab(), QStringLiteral("Enviament"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(sstabGeneral, 1);
    layout->addLayout(buildButtonRow());
}

QWidget *frmMain::buildDefinitionTab()
{
    auto *frames = new QWidget;
    frames->setMaximumWidth(maxFormWidth);
    auto *layout = new QVBoxLayout(frames);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    layout->addWidget(buildSenderFrame());
    layout->addWidget(buildRecipientFrame());
    layout->addWidget(buildMessageFrame());
    layout->addStretch();
    // Centred in a window wider than the form.
    auto *page = new QWidget;
    auto *centred = new QHBoxLayout(page);
    centred->setContentsMargins(0, 0, 0, 0);
    centred->addWidget(frames, 0, Qt::AlignHCenter);
    // A window made smaller than its design scrolls rather than crushing the rows.
    auto *scroll = new WholeContentsScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(page);
    return scroll;
}

// Every label says its mnemonic letter, unique on its tab with the menus'
// and the button row's. The Definició tab has more labels than letters: the
// table delimiters, the right field delimiter and the certificates file are
// reached with Tab from the box before them, the choosers with Tab from
// their box.
QGroupBox *frmMain::buildSenderFrame()
{
    auto *frame = new QGroupBox(QStringLiteral("Remitent"));
    QGridLayout *grid = frameGrid(frame);
    grid->addWidget(label(QStringLiteral("A&dreça de correu:"), txtFields[0]), 0, 0);
    grid->addWidget(txtFields[0], 0, 1, 1, wholeRow);
    grid->addWidget(label(QStringLiteral("&Nom per mostrar:"), txtFields[1]), 1, 0);
    grid->addWidget(txtFields[1], 1, 1, 1, wholeRow);
    grid->addWidget(label(QStringLiteral("&Servidor SMTP:"), txtFields[2]), 2, 0);
    grid->addWidget(txtFields[2], 2, 1, 1, wholeRow);
    // On a row of their own, under the server they protect: beside it the
    // server's box would be left too narrow for a name and a port.
    grid->addWidget(label(QStringLiteral("Se&guretat de la connexió:"), comboSeguretat), 3, 0);
    grid->addLayout(row({comboSeguretat}, true), 3, 1, 1, wholeRow);
    grid->addWidget(label(QStringLiteral("Certificats de confiança addicionals:"), txtFields[17]), 4, 0);
    grid->addLayout(row({txtFields[17], cmbCercar[3]}), 4, 1, 1, wholeRow);
    grid->addWidget(label(QStringLiteral("Cal autentificar-se en el ser&vidor?"), chkFields[0]), 5, 0);
    // Room after the check box for how the login is made.
    grid->addLayout(row({chkFields[0]}, true), 5, 1);
    grid->addWidget(label(QStringLiteral("&Temps a esperar entre enviaments:"), txtFields[12]), 5, 2);
    grid->addWidget(txtFields[12], 5, 3);
    // The login pair shares a row, which leaves the tab less to scroll.
    m_loginLabels = {label(QStringLiteral("&Usuari:"), txtFields[3]), label(QStringLiteral("Contrasen&ya:"), txtFields[4])};
    grid->addWidget(m_loginLabels[0], 6, 0);
    grid->addLayout(row({txtFields[3], m_loginLabels[1], txtFields[4]}), 6, 1, 1, wholeRow);
    return frame;
}

QGroupBox *frmMain::buildRecipientFrame()
{
    auto *frame = new QGroupBox(QStringLiteral("Destinatari"));
    QGridLayout *grid = frameGrid(frame);
    grid->addWidget(label(QStringLiteral("&Base de dades:"), txtFields[5]), 0, 0);
    grid->addLayout(row({txtFields[5], cmbCercar[1], cmbODBC}), 0, 1, 1, wholeRow);
    QWidget *sourceKinds = optionRow(optFields[0], optFields[1]);
    grid->addWidget(label(QStringLiteral("T&ipus d'origen:"), sourceKinds), 1, 0);
    grid->addWidget(sourceKinds, 1, 1);
    grid->addWidget(label(QStringLiteral("Delimitadors de nom de taula:"), txtFields[15]), 1, 2);
    grid->addLayout(row({txtFields[15], txtFields[16]}, true), 1, 3);
    // The table list and the statement box share one place; one is hidden.
    grid->addWidget(Label9, 2, 0, Qt::AlignTop);
    auto *tableOrStatement = new QVBoxLayout;
    tableOrStatement->setContentsMargins(0, 0, 0, 0);
    tableOrStatement->addWidget(comboFields[0]);
    tableOrStatement->addWidget(txtFields[14]);
    grid->addLayout(tableOrStatement, 2, 1, 1, wholeRow);
    // The row keeps the statement box's height in both kinds, so that the
    // tab does not grow when "Instrucció SQL" is chosen.
    grid->setRowMinimumHeight(2, txtFields[14]->minimumHeight());
    grid->addWidget(label(QStringLiteral("Camp adre&ça correu:"), comboFields[1]), 3, 0);
    grid->addWidget(comboFields[1], 3, 1);
    grid->addWidget(label(QStringLiteral("Ag&rupar enviaments?"), chkFields[1]), 4, 0);
    grid->addWidget(chkFields[1], 4, 1);
    grid->addWidget(label(QStringLiteral("Nú&mero d'adreces per grup:"), txtFields[11]), 4, 2);
    grid->addWidget(txtFields[11], 4, 3);
    return frame;
}

QGroupBox *frmMain::buildMessageFrame()
{
    auto *frame = new QGroupBox(QStringLiteral("Missatge"));
    QGridLayout *grid = frameGrid(frame);
    grid->addWidget(label(QStringLiteral("Assum&pte:"), txtFields[7]), 0, 0);
    grid->addWidget(txtFields[7], 0, 1, 1, wholeRow);
    QWidget *bodyKinds = optionRow(optFields[2], optFields[3]);
    grid->addWidget(label(QStringLiteral("Tipus de &cos:"), bodyKinds), 1, 0);
    grid->addWidget(bodyKinds, 1, 1);
    grid->addWidget(Label1, 2, 0, Qt::AlignTop);
    grid->addLayout(row({txtFields[6], cmbCercar[0]}), 2, 1, 1, wholeRow);
    grid->addWidget(label(QStringLiteral("Annex&os:"), txtFields[13]), 3, 0, Qt::AlignTop);
    grid->addLayout(row({txtFields[13], cmbCercar[2]}), 3, 1, 1, wholeRow);
    grid->addWidget(label(QStringLiteral("Delimitador es&q. de camps:"), txtFields[9]), 4, 0);
    grid->addWidget(txtFields[9], 4, 1);
    grid->addWidget(label(QStringLiteral("Delimitador dret de camps:"), txtFields[10]), 4, 2);
    grid->addWidget(txtFields[10], 4, 3);
    return frame;
}

QWidget *frmMain::buildTextViewTab()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(txtFields[8]);
    return page;
}

QWidget *frmMain::buildSendingTab()
{
    grdEnviament = new QTableView;
    grdEnviament->setModel(&m_campaign.grid());
    grdEnviament->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdEnviament->setWordWrap(false);
    grdEnviament->horizontalHeader()->setHighlightSections(false);
    grdEnviament->horizontalHeader()->setStretchLastSection(true);
    // Fixed row heights keep a hundred thousand rows quick to show and scroll.
    QHeaderView *rows = grdEnviament->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(grdEnviament->fontMetrics().height() + 6);

    frameProgres = new QFrame;
    lblQuants = new QLabel;
    pbTotal = new QProgressBar;
    pbProgres = new QProgressBar;
    pbProgres->setRange(0, 100);
    pbProgres->setValue(0);
    pbTotal->setValue(0);
    auto *progress = new QGridLayout(frameProgres);
    progress->setContentsMargins(4, 4, 4, 4);
    progress->addWidget(label(QStringLiteral("Registres processats/enviats/total:")), 0, 0);
    progress->addWidget(lblQuants, 0, 1);
    progress->setColumnStretch(1, 1);
    progress->addWidget(pbTotal, 1, 0, 1, 2);
    progress->addWidget(label(QStringLiteral("Registre actual")), 2, 0);
    progress->addWidget(pbProgres, 3, 0, 1, 2);

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buildRecipientTools());
    layout->addWidget(grdEnviament, 1);
    layout->addWidget(frameProgres);
    layout->addStretch(0);
    return page;
}

QLayout *frmMain::buildButtonRow()
{
    cmbLlegir = iconButton(615);
    cmbGravar = iconButton(615);
    cmbEnviar = iconButton(615);
    cmbDesmarcar = iconButton(615);
    cmbSortir = iconButton(600);
    cmbAturar = new QToolButton;
    cmbAturar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    cmbAturar->setFixedHeight(cmbSortir->height());
    lblEstat = new StatusLine;
    QHBoxLayout *buttons = row({cmbLlegir, cmbGravar, cmbEnviar, cmbDesmarcar, cmbSortir, cmbAturar});
    buttons->addSpacing(8);
    buttons->addWidget(lblEstat, 1);
    return buttons;
}

void frmMain::bindControls()
{
    static constexpr std::pair<int, Setting> textBoxes[] = {
        {0, Setting::SenderAddress},      {1, Setting::SenderName},      {2, Setting::SmtpServer},
        {3, Setting::LoginUser},          {4, Setting::LoginPassword},   {5, Setting::DatabaseSource},
        {6, Setting::BodySource},         {7, Setting::MessageSubject},  {8, Setting::BodyText},
        {9, Setting::FieldDelimiterLeft}, {10, Setting::FieldDelimiterRight}, {11, Setting::GroupSize},
        {13, Setting::AttachmentList},    {14, Setting::SqlStatement},
        {15, Setting::TableQuoteLeft},    {16, Setting::TableQuoteRight}, {17, Setting::TrustedCertificatesFile},
    };
    CampaignSettings &settings = m_campaign.settings();
    for (const auto &[n, setting] : textBoxes) {
        if (auto *line = qobject_cast<QLineEdit *>(txtFields[n]))
            bindTextBox(line, settings, setting);
        else
            bindTextBox(static_cast<QPlainTextEdit *>(txtFields[n]), settings, setting);
    }
    bindSecondsBox(static_cast<SecondsBox *>(txtFields[12]), settings, Setting::WaitSeconds);
    bindCheckBox(chkFields[0], settings, Check::NeedsLogin);
    bindCheckBox(chkFields[1], settings, Check::GroupSendings);
    bindList(comboFields[0], m_campaign, Setting::TableName);
    bindList(comboFields[1], m_campaign, Setting::AddressField);
    bindSecurityList(comboSeguretat, settings);
}

// Each column as wide as its header and the values of its first rows (the
// header view measures a bounded number of them), within a limit; the mark
// column never narrower than it was drawn.
void frmMain::fitGridColumns()
{
    for (int column = 0; column < grdEnviament->horizontalHeader()->count(); ++column) {
        grdEnviament->resizeColumnToContents(column);
        grdEnviament->setColumnWidth(column, std::min(grdEnviament->columnWidth(column), maxFittedColumnWidth));
    }
    grdEnviament->setColumnWidth(0, std::max(grdEnviament->columnWidth(0), RecipientGrid::markColumnWidthTwips / twipsPerPixel));
}

} // namespace tramelo
