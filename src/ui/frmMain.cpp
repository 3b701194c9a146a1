#include "frmMain.h"

#include "body_page.h"
#include "body_preparation.h"
#include "icons.h"
#include "plain_text.h"
#include "recipient_grid.h"
#include "window_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace tramelo {

frmMain::frmMain(std::unique_ptr<WindowDialogs> dialogs, QWidget *parent)
    : QWidget(parent)
    , m_dialogs(dialogs ? std::move(dialogs) : makeQtWindowDialogs())
    , m_campaign(*this)
    , m_run(m_campaign, m_internet)
{
    registerUiResources();
    setWindowTitle(QStringLiteral("Enviar Tramelo"));
    setWindowIcon(QIcon(QStringLiteral(":/tramelo/tramelo.png")));
    buildControls();
    buildActions();
    buildMenus();
    bindControls();
    connectEvents();
    connectHomeEvents();
    resize(openingSize());
    Form_Load();
}

frmMain::~frmMain()
{
    // The children outlive the campaign: they must not reach it on the way out.
    for (QWidget *box : txtFields)
        box->removeEventFilter(this);
    grdEnviament->setModel(nullptr);
}

void frmMain::Form_Load()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    showBodyPage(QString());
    m_campaign.setProjectPath(QString());
    grdEnviament->hide();
    frameProgres->hide();
    m_campaign.settings().applyStartDefaults();

    // As if "Taula" and then "Arxiu" had been clicked.
    m_campaign.settings().setSourceKind(SourceKind::Table);
    showSourceKind(SourceKind::Table);
    m_campaign.settings().setBodyKind(BodyKind::File);
    showBodyKind(BodyKind::File);
    RefreshBodyPreview(m_campaign);

    m_campaign.setDirty(false);
    m_campaign.setRunning(false);
    setClearMarksEnabled(false);
    showLoginState();
}

bool frmMain::Form_QueryUnload()
{
    return !m_campaign.isDirty() || askYesNo(QStringLiteral("Vols sortir sense guardar els canvis?"), false);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_campaign.isRunning()) {
        // A send in progress is asked to stop, as the exit button does; the
        // window closes when it has ended (onSend).
        m_campaign.setStopRequested(true);
        m_closeWhenRunEnds = true;
        event->ignore();
        return;
    }
    if (Form_QueryUnload())
        event->accept();
    else
        event->ignore();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        // Another window or a menu coming up leaves the focus where it was.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        const auto box = std::find(txtFields.begin(), txtFields.end(), watched);
        if (box != txtFields.end() && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            const int n = int(box - txtFields.begin());
            if (event->type() == QEvent::FocusIn)
                onTextBoxEntered(n);
            else
                onTextBoxLeft(n);
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- CampaignView -------------------------------------------------------------

void frmMain::showMessage(const QString &text, MessageIcon icon)
{
    m_dialogs->showMessage(this, text, icon);
}

bool frmMain::askYesNo(const QString &question, bool yesIsDefault)
{
    return m_dialogs->askYesNo(this, question, yesIsDefault);
}

Answer frmMain::askYesNoCancel(const QString &question)
{
    return m_dialogs->askYesNoCancel(this, question);
}

void frmMain::setBusy(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void frmMain::processEvents()
{
    QApplication::processEvents();
}

void frmMain::waitForEvents()
{
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Off for the whole of a test send or a run, which is when the exit button
// stops it rather than closing, as its tool tip then says.
void frmMain::setRunButtonsEnabled(bool enabled)
{
    for (QAction *action : {actObre, actDesa, actDesaComA, actEnvia, actEnviaProva, m_recentProjects->menuAction()})
        action->setEnabled(enabled);
    actAtura->setEnabled(!enabled);
    setToolTipWithShortcut(*actSurt, enabled ? QStringLiteral("Sortir del programa") : QStringLiteral("Aturar l'enviament"));
    setSendingControlsEnabled(enabled);
}

void frmMain::setSendingControlsEnabled(bool enabled)
{
    const std::initializer_list<QWidget *> controls = {
        txtFields[0],  txtFields[1],  txtFields[2],  comboSeguretat, txtFields[17], cmbCercar[3],
        chkFields[0],  txtFields[12], txtFields[7],  optFields[2],   optFields[3],  txtFields[6],
        cmbCercar[0],  txtFields[13], cmbCercar[2],  chkFields[1],   txtFields[11], txtFields[9],
        txtFields[10], txtFields[15], txtFields[16], txtAdrecaProva,
    };
    for (QWidget *control : controls)
        control->setEnabled(enabled);
    showLoginState();
}

void frmMain::showLoginState()
{
    const bool login = chkFields[0]->isEnabled() && chkFields[0]->isChecked();
    for (QWidget *control : {txtFields[3], txtFields[4], static_cast<QWidget *>(m_loginLabels[0]),
                             static_cast<QWidget *>(m_loginLabels[1])})
        control->setEnabled(login);
}

void frmMain::setClearMarksEnabled(bool enabled)
{
    actEsborraMarques->setEnabled(enabled && m_recipientControlsEnabled);
}

void frmMain::showClearMarksState()
{
    // Off during a run, without a look at every row as each is marked.
    actEsborraMarques->setEnabled(m_recipientControlsEnabled && m_campaign.grid().hasMarks());
}

void frmMain::setRecipientControlsEnabled(bool enabled)
{
    // Set first: a box losing the focus as it is disabled must not reload
    // the recipients.
    m_recipientControlsEnabled = enabled;
    const std::initializer_list<QWidget *> controls = {
        txtFields[5], cmbCercar[1], cmbODBC, optFields[0], optFields[1], comboFields[0], txtFields[14], comboFields[1],
    };
    for (QWidget *control : controls)
        control->setEnabled(enabled);
    showClearMarksState();
}

void frmMain::showGrid()
{
    grdEnviament->show();
}

void frmMain::showRunProgress()
{
    sstabGeneral->setCurrentIndex(3);
    frameProgres->show();
}

void frmMain::hideRunProgress()
{
    frameProgres->hide();
}

void frmMain::setTotalProgress(qint64 value, qint64 maximum)
{
    // A source without rows shows an empty bar rather than a busy one.
    const int top = int(std::clamp<qint64>(maximum, 1, std::numeric_limits<int>::max()));
    pbTotal->setRange(0, top);
    pbTotal->setValue(int(std::clamp<qint64>(value, 0, top)));
}

void frmMain::setCounts(const QString &text)
{
    lblQuants->setText(text);
}

void frmMain::setMessageProgress(int percent)
{
    pbProgres->setValue(std::clamp(percent, 0, 100));
}

void frmMain::showBodyPage(const QString &path)
{
    showBodyFile(*planaWeb, path, trimBlanks(m_campaign.settings().text(Setting::FieldDelimiterLeft)));
}

} // namespace tramelo
