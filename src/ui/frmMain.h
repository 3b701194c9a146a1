#pragma once

#include "campaign.h"
#include "campaign_view.h"
#include "internet_connection.h"
#include "operator_preferences.h"
#include "run_driver.h"
#include "window_dialogs.h"

#include <QWidget>

#include <array>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QMenu;
class QMenuBar;
class QModelIndex;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;
class QTextBrowser;
class QToolButton;

namespace tramelo {

class JournalWindow;
class RecipientPreview;
class StatusLine;
class UserGuide;
class frmAbout;

// The main window, "Enviar Tramelo": its menus, the campaign's settings on
// the "Definició" tab, the body as a page and as text, the recipient grid
// with the run's progress, and the five buttons below. It is a view over
// the Campaign it owns and hands every operator action to the campaign's
// operations.
class frmMain : public QWidget, public CampaignView
{
    Q_OBJECT
public:
    // Without dialogs of its own the window uses Qt's.
    explicit frmMain(std::unique_ptr<WindowDialogs> dialogs = {}, QWidget *parent = nullptr);
    ~frmMain() override;

    Campaign &campaign() { return m_campaign; }

    // ---- CampaignView -------------------------------------------------------
    void showMessage(const QString &text, MessageIcon icon) override;
    bool askYesNo(const QString &question, bool yesIsDefault) override;
    Answer askYesNoCancel(const QString &question) override;
    QString chooseProjectFileToSave() override;
    void setBusy(bool busy) override;
    void processEvents() override;
    void waitForEvents() override;
    void setRunButtonsEnabled(bool enabled) override;
    void setClearMarksEnabled(bool enabled) override;
    void setRecipientControlsEnabled(bool enabled) override;
    void showGrid() override;
    void showRunProgress() override;
    void hideRunProgress() override;
    void setTotalProgress(qint64 value, qint64 maximum) override;
    void setCounts(const QString &text) override;
    void setMessageProgress(int percent) override;
    void showBodyPage(const QString &path) override;

    // ---- the controls, under the names the whole program knows them by ----
    // Each command is one action, shared by its menu entry, its shortcut and
    // its button: one handler, one enabled state.
    QMenuBar *barraMenus = nullptr;
    QAction *actObre = nullptr;      // cmbLlegir
    QAction *actDesa = nullptr;      // cmbGravar: to the project's file when it has one
    QAction *actDesaComA = nullptr;  // always asks where
    QAction *actSurt = nullptr;      // cmbSortir
    QAction *actEnviaProva = nullptr;
    QAction *actEnvia = nullptr;     // cmbEnviar
    QAction *actAtura = nullptr;     // cmbAturar
    QAction *actEsborraMarques = nullptr; // cmbDesmarcar
    QAction *actRegistre = nullptr;  // cmbRegistre
    QAction *actGuia = nullptr;
    QAction *actQuantA = nullptr;

    QTabWidget *sstabGeneral = nullptr;
    // QLineEdit, except the multi-line QPlainTextEdit boxes 6, 8, 13 and 14
    // and the seconds' spin box 12; 17 is the trusted certificates file.
    std::array<QWidget *, 18> txtFields{};
    std::array<QCheckBox *, 2> chkFields{};
    std::array<QRadioButton *, 4> optFields{};
    std::array<QComboBox *, 2> comboFields{};
    // The connection's security: a fixed list, not one of the editable lists above.
    QComboBox *comboSeguretat = nullptr;
    // 3 chooses the trusted certificates file.
    std::array<QPushButton *, 4> cmbCercar{};
    QPushButton *cmbODBC = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label9 = nullptr;
    QTextBrowser *planaWeb = nullptr;
    QTableView *grdEnviament = nullptr;
    QFrame *frameProgres = nullptr;
    QLabel *lblQuants = nullptr;
    QProgressBar *pbTotal = nullptr;
    QProgressBar *pbProgres = nullptr;
    QToolButton *cmbLlegir = nullptr;
    QToolButton *cmbGravar = nullptr;
    QToolButton *cmbEnviar = nullptr;
    QToolButton *cmbDesmarcar = nullptr;
    QToolButton *cmbSortir = nullptr;
    // Stops a test send or a run; enabled only during one.
    QToolButton *cmbAturar = nullptr;
    // Above the grid: what the selected row will receive, and whether the
    // test send takes that row's values.
    QToolButton *cmbVistaPrevia = nullptr;
    QCheckBox *chkProvaDestinatari = nullptr;
    // Where test sends go; blank, the sender's address. Kept for the operator.
    QLineEdit *txtAdrecaProva = nullptr;
    QToolButton *cmbRegistre = nullptr;
    RecipientPreview *vistaPrevia = nullptr;
    JournalWindow *registre = nullptr;
    UserGuide *guia = nullptr;
    frmAbout *quantA = nullptr;
    // The status line beside the buttons: the run as it goes and how it ended.
    StatusLine *lblEstat = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // ---- composition (frmMain_controls.cpp) -------------------------------
    void buildControls();
    QWidget *buildDefinitionTab();
    QGroupBox *buildSenderFrame();
    QGroupBox *buildRecipientFrame();
    QGroupBox *buildMessageFrame();
    QWidget *buildTextViewTab();
    QWidget *buildSendingTab();
    QLayout *buildButtonRow();
    void bindControls();
    // Usuari and Contrasenya only while the login is asked for.
    void showLoginState();

    // ---- menus and shortcuts (frmMain_menus.cpp) ---------------------------
    void buildActions();
    void buildMenus();
    // The words of a button, then its shortcut when it has one: "Gravar la
    // configuració (Ctrl+S)".
    static void setToolTipWithShortcut(QAction &action, const QString &toolTip);
    // A command from the keyboard leaves the box being typed in as a click
    // on a button would: its leaving rules run first.
    void runLeavingRules();
    void onTestSend();
    void showJournal();
    void showGuide();
    void showAbout();

    // ---- start and end (frmMain.cpp) ---------------------------------------
    void Form_Load();
    bool Form_QueryUnload();

    // ---- operator actions (frmMain_events.cpp) -----------------------------
    void connectEvents();
    void onLoadProject();
    // "Desa": to the project's file, or where the operator chooses when it
    // has none; "Desa com a": always where the operator chooses.
    bool saveProject();
    bool chooseAndSaveProject();
    // A single line naming an existing file (a relative one in the project's folder).
    bool namesAFile(const QString &text) const;
    void onSend();
    void onClearMarks();
    void onExit();
    void onStop();
    void onChooseFile(int n);
    void onChooseOdbcSource();
    void onOptionClicked(int n);
    void onListEntryChosen(int n, int index);
    void onGridDoubleClicked(const QModelIndex &index);
    void onTextBoxEntered(int n);
    void onTextBoxLeft(int n);
    void showSourceKind(SourceKind kind);
    void showBodyKind(BodyKind kind);
    void fitGridColumns();
    // Off during a test send or a run: every box that changes what is sent.
    void setSendingControlsEnabled(bool enabled);
    // cmbDesmarcar follows the grid: enabled whenever a row is marked.
    void showClearMarksState();

    // ---- one recipient's message (frmMain_preview.cpp) ---------------------
    QLayout *buildRecipientTools();
    void connectRecipientTools();
    int selectedRecipientRow() const;
    void onSelectedRowChanged();
    void previewRecipient(int row);
    int testSendRow() const;
    // What the next test send takes from the window.
    void prepareTestSend();

    // ---- at home on the desktop (frmMain_home.cpp) -------------------------
    // The size at which every tab shows whole, within the screen.
    QSize openingSize() const;
    void connectHomeEvents();
    // A file dialog for a kind of file, opening where it makes sense and
    // remembering the folder of the file chosen.
    QString chooseFile(FileKind kind, const QString &initialName, const QString &filter);
    void loadProjectFile(const QString &path);
    // "Vols desar els canvis?" when there are unsaved changes: whether the
    // window may go on to another project (saved, or discarded).
    bool changesSavedOrDiscarded();
    void fillRecentProjectsMenu();
    void onRecentProjectChosen(const QString &path);
    void showTitle();

    std::unique_ptr<WindowDialogs> m_dialogs;
    Campaign m_campaign;
    SystemInternetConnection m_internet;
    OperatorPreferences m_preferences;
    QMenu *m_recentProjects = nullptr;
    CampaignRun m_run;
    // What each text box held when it got the focus.
    std::array<QString, 18> m_textOnEntry;
    // The attachment chooser offers the name it gave last time.
    QString m_lastAttachment;
    // The title bar's close during a send: the window closes once it ends.
    bool m_closeWhenRunEnds = false;
    // Off while a run walks the rows, and cmbDesmarcar with them.
    bool m_recipientControlsEnabled = true;
    // "Usuari:" and "Contrasenya:".
    std::array<QLabel *, 2> m_loginLabels{};
};

} // namespace tramelo
