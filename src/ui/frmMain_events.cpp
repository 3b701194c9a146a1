#include "frmMain.h"

#include "address_field_choice.h"
#include "body_preparation.h"
#include "odbc_picker.h"
#include "plain_text.h"
#include "project_file.h"
#include "project_paths.h"
#include "recipient_grid.h"
#include "recipient_source.h"
#include "text_boxes.h"
#include "window_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace tramelo {
namespace {

const QString projectFilter = QStringLiteral("Arxius de projecte (*.pcm);;Tots els arxius (*)");
const QString bodyFilter = QStringLiteral("Arxius HTML (*.htm*);;Arxius de texte (*.txt);;Tots els arxius (*)");
// Every kind of file this system opens, then each kind alone.
const QString databaseFilter = QStringLiteral(
    "Bases de dades (*.mdb *.accdb *.sqlite *.sqlite3 *.db *.csv *.txt);;Arxius Access (*.mdb *.accdb);;"
    "Arxius SQLite (*.sqlite *.sqlite3 *.db);;Arxius CSV (*.csv *.txt);;Tots els arxius (*)");
const QString anyFileFilter = QStringLiteral("Tots els arxius (*)");
const QString certificatesFilter = QStringLiteral("Certificats PEM (*.pem *.crt);;Tots els arxius (*)");

// "1 destinatari marcat com a enviat", "2 destinataris marcats com a enviats".
QString rowsMarkedAs(qint64 count, const QString &mark)
{
    if (count == 1)
        return QStringLiteral("1 destinatari marcat com a ") + mark;
    return QStringLiteral("%1 destinataris marcats com a %2s").arg(count).arg(mark);
}

constexpr int databaseSourceBox = 5;
constexpr int bodySourceBox = 6;
constexpr int bodyTextBox = 8;
constexpr int sqlStatementBox = 14;

} // namespace

void frmMain::connectEvents()
{
    // The buttons below the tabs trigger their actions (frmMain_menus.cpp).
    for (int n = 0; n < int(cmbCercar.size()); ++n)
        connect(cmbCercar[n], &QPushButton::clicked, this, [this, n] { onChooseFile(n); });
    connect(cmbODBC, &QPushButton::clicked, this, &frmMain::onChooseOdbcSource);
    for (int n = 0; n < int(optFields.size()); ++n)
        connect(optFields[n], &QRadioButton::clicked, this, [this, n] { onOptionClicked(n); });
    // Only an entry the operator chose starts a reload, never a text the
    // program put into the list.
    for (int n = 0; n < int(comboFields.size()); ++n)
        connect(comboFields[n], &QComboBox::activated, this, [this, n](int index) { onListEntryChosen(n, index); });
    connect(chkFields[0], &QCheckBox::toggled, this, &frmMain::showLoginState);
    connect(grdEnviament, &QTableView::doubleClicked, this, &frmMain::onGridDoubleClicked);
    connect(&m_campaign.grid(), &QAbstractItemModel::modelReset, this, &frmMain::fitGridColumns);
    connect(&m_campaign.grid(), &QAbstractItemModel::modelReset, this, &frmMain::showClearMarksState);
    connect(&m_campaign.grid(), &QAbstractItemModel::dataChanged, this, &frmMain::showClearMarksState);
    for (QWidget *box : txtFields)
        box->installEventFilter(this);
    connectRecipientTools();

    // A project load selects the options with the same visible effect as a click.
    CampaignSettings &settings = m_campaign.settings();
    connect(&settings, &CampaignSettings::sourceKindChanged, this, &frmMain::showSourceKind);
    connect(&settings, &CampaignSettings::bodyKindChanged, this, &frmMain::showBodyKind);
}

void frmMain::onLoadProject()
{
    const QString path = chooseFile(FileKind::Project, QString(), projectFilter);
    if (!path.isEmpty())
        loadProjectFile(path);
}

void frmMain::loadProjectFile(const QString &path)
{
    if (!changesSavedOrDiscarded())
        return;
    const std::optional<MarksRestoration> marks = LoadProject(m_campaign, path);
    if (!marks) {
        showMessage(QStringLiteral("No es pot llegir l'arxiu de projecte ") + path, MessageIcon::Error);
        return;
    }
    m_preferences.addRecentProject(path);
    if (marks->journal == MarksRestoration::Journal::Unreadable)
        showMessage(journalNotReadMessage(*marks), MessageIcon::Error);
    if (marks->outcome != MarksRestoration::Outcome::NotRestorable)
        return;
    // The journal's addresses stand in for marks that no longer fit the rows.
    if (marks->journal == MarksRestoration::Journal::Read)
        showMessage(marksNotRestoredMessage(*marks) + QStringLiteral(".\n") + journalRowsMessage(*marks),
                    MessageIcon::Information);
    else
        showMessage(marksNotRestoredMessage(*marks), MessageIcon::Error);
}

bool frmMain::changesSavedOrDiscarded()
{
    if (!m_campaign.isDirty())
        return true;
    switch (askYesNoCancel(QStringLiteral("Vols desar els canvis?"))) {
    case Answer::Yes:
        return saveProject();
    case Answer::No:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

bool frmMain::saveProject()
{
    const QString path = m_campaign.projectPath();
    if (path.isEmpty())
        return chooseAndSaveProject();
    if (!SaveProject(m_campaign, path))
        return false;
    m_preferences.addRecentProject(path);
    return true;
}

bool frmMain::chooseAndSaveProject()
{
    const QString path = chooseProjectFileToSave();
    return !path.isEmpty() && SaveProject(m_campaign, path);
}

QString frmMain::chooseProjectFileToSave()
{
    const QString start = dialogStartPath(m_campaign.projectPath(), QString(), m_preferences.lastFolder(FileKind::Project));
    const QString path = m_dialogs->chooseFileToSave(this, start, projectFilter);
    if (!path.isEmpty()) {
        m_preferences.rememberFolderOf(FileKind::Project, path);
        m_preferences.addRecentProject(path);
    }
    return path;
}

void frmMain::onSend()
{
    prepareTestSend();
    m_run.pressSend();
    if (m_closeWhenRunEnds) {
        m_closeWhenRunEnds = false;
        close();
    }
}

void frmMain::onClearMarks()
{
    const RecipientGrid::MarkCounts marks = m_campaign.grid().markCounts();
    const QString question = QStringLiteral("Vols esborrar les marques d'enviat? Hi ha %1 i %2; els marcats com a "
                                            "enviats tornarien a rebre el missatge al proper enviament.")
                                 .arg(rowsMarkedAs(marks.sent, QStringLiteral("enviat")),
                                      rowsMarkedAs(marks.failed, QStringLiteral("no enviat")));
    if (askYesNo(question, false))
        ClearSentMarks(m_campaign);
}

// The exit button during a send stops it, as it always has.
void frmMain::onExit()
{
    if (m_campaign.isRunning())
        onStop();
    else
        close();
}

void frmMain::onStop()
{
    if (m_campaign.isRunning())
        m_run.requestStop();
}

void frmMain::onChooseFile(int n)
{
    CampaignSettings &settings = m_campaign.settings();
    if (n == 0) {
        const QString path = chooseFile(FileKind::Body, settings.text(Setting::BodySource), bodyFilter);
        if (path.isEmpty())
            return;
        settings.setText(Setting::BodySource, path);
        RefreshBodyPreview(m_campaign);
    } else if (n == 1) {
        const QString path = chooseFile(FileKind::Database, settings.text(Setting::DatabaseSource), databaseFilter);
        if (path.isEmpty())
            return;
        settings.setText(Setting::DatabaseSource, path);
        OpenRecipientDatabase(m_campaign, true);
    } else if (n == 3) {
        const QString path =
            chooseFile(FileKind::Certificates, settings.text(Setting::TrustedCertificatesFile), certificatesFilter);
        if (!path.isEmpty())
            settings.setText(Setting::TrustedCertificatesFile, path);
    } else {
        const QString path = chooseFile(FileKind::Attachment, m_lastAttachment, anyFileFilter);
        if (path.isEmpty())
            return;
        m_lastAttachment = path;
        QString list = settings.text(Setting::AttachmentList);
        if (!isBlank(list))
            list += u';';
        settings.setText(Setting::AttachmentList, list + path);
    }
}

void frmMain::onChooseOdbcSource()
{
    // The operator who closes the picker knows it: no message says so.
    const std::optional<OdbcSourceChoice> choice = m_dialogs->chooseOdbcSource(this);
    if (!choice)
        return;
    std::optional<QString> connectString;
    {
        BusyPointer busy(*this);
        QString error;
        connectString = completeOdbcConnectString(odbcPickerConnectString(*choice), error);
    }
    ApplyOdbcChoice(m_campaign, connectString);
}

void frmMain::onOptionClicked(int n)
{
    CampaignSettings &settings = m_campaign.settings();
    switch (n) {
    case 0:
        settings.setSourceKind(SourceKind::Table);
        break;
    case 1:
        settings.setSourceKind(SourceKind::Sql);
        break;
    case 2:
    case 3:
        // A file's name is no text to send.
        if (n == 3 && settings.bodyKind() == BodyKind::File && namesAFile(settings.text(Setting::BodySource)))
            settings.setText(Setting::BodySource, QString());
        settings.setBodyKind(n == 2 ? BodyKind::File : BodyKind::Text);
        RefreshBodyPreview(m_campaign);
        break;
    }
}

void frmMain::showSourceKind(SourceKind kind)
{
    const bool table = kind == SourceKind::Table;
    optFields[table ? 0 : 1]->setChecked(true);
    Label9->setText(table ? QStringLiteral("Tau&la:") : QStringLiteral("Instrucció SQ&L:"));
    Label9->setBuddy(table ? static_cast<QWidget *>(comboFields[0]) : txtFields[sqlStatementBox]);
    comboFields[0]->setVisible(table);
    txtFields[sqlStatementBox]->setVisible(!table);
}

void frmMain::showBodyKind(BodyKind kind)
{
    const bool file = kind == BodyKind::File;
    optFields[file ? 2 : 3]->setChecked(true);
    Label1->setText(file ? QStringLiteral("Nom de l'ar&xiu de cos:") : QStringLiteral("Te&xte del cos:"));
    cmbCercar[0]->setVisible(file);
}

bool frmMain::namesAFile(const QString &text) const
{
    const QString name = trimBlanks(text);
    return !name.isEmpty() && !name.contains(u'\n') && QFileInfo(resolvedCampaignPath(m_campaign, name)).isFile();
}

void frmMain::onListEntryChosen(int n, int index)
{
    const QString entry = comboFields[n]->itemText(index);
    if (n == 0) {
        m_campaign.settings().setText(Setting::TableName, entry);
        LoadFieldList(m_campaign);
    } else {
        ChooseAddressField(m_campaign, entry);
    }
}

void frmMain::onGridDoubleClicked(const QModelIndex &index)
{
    // The view's row 0 is the grid's first data row. Looking changes
    // nothing, so the address cell previews even during a run.
    if (index.column() == 1) {
        previewRecipient(index.row() + 1);
        return;
    }
    if (!m_recipientControlsEnabled)
        return;
    m_campaign.grid().toggleMark(index.row() + 1, index.column());
}

void frmMain::onTextBoxEntered(int n)
{
    m_textOnEntry[n] = textBoxText(txtFields[n]);
    // The body as it will be sent is read, not replaced: a selection there
    // only hides where the reading starts.
    if (n == bodyTextBox)
        return;
    // After the click that brought the focus has placed the cursor.
    QTimer::singleShot(0, txtFields[n], [box = txtFields[n]] { selectWholeText(box); });
}

void frmMain::onTextBoxLeft(int n)
{
    // A box that loses the focus as it is disabled (a send starting) was not left.
    if (!txtFields[n]->isEnabled())
        return;
    const bool changed = textBoxText(txtFields[n]) != m_textOnEntry[n];
    if (n == databaseSourceBox && changed)
        OpenRecipientDatabase(m_campaign, false);
    else if (n == bodySourceBox)
        RefreshBodyPreview(m_campaign);
    else if (n == sqlStatementBox && changed)
        LoadFieldList(m_campaign);
}

} // namespace tramelo
