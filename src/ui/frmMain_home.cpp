#include "frmMain.h"

#include "project_paths.h"
#include "window_dialogs.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QToolButton>

namespace tramelo {

QSize frmMain::openingSize() const
{
    // The client area the window was drawn for (9315 x 8085 twips at 15
    // twips a pixel), grown to what its tabs need, within the screen less
    // the room of the window's frame and title bar.
    constexpr QSize designedSize(621, 539);
    constexpr QSize frameRoom(16, 48);
    QSize size = sizeHint().expandedTo(designedSize);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() - frameRoom);
    return size;
}

void frmMain::connectHomeEvents()
{
    // The load button's arrow offers the projects last used; the button itself
    // still opens the dialog.
    cmbLlegir->setMenu(m_recentProjects);
    cmbLlegir->setPopupMode(QToolButton::MenuButtonPopup);
    cmbLlegir->setFixedWidth(cmbLlegir->width() + 14);
    connect(m_recentProjects, &QMenu::aboutToShow, this, &frmMain::fillRecentProjectsMenu);

    connect(&m_campaign, &Campaign::projectPathChanged, this, &frmMain::showTitle);
    connect(&m_campaign, &Campaign::dirtyChanged, this, &frmMain::showTitle);
}

QString frmMain::chooseFile(FileKind kind, const QString &initialName, const QString &filter)
{
    const QString start = dialogStartPath(initialName, projectFolderOf(m_campaign), m_preferences.lastFolder(kind));
    const QString path = m_dialogs->chooseFileToOpen(this, start, filter);
    if (!path.isEmpty())
        m_preferences.rememberFolderOf(kind, path);
    return path;
}

void frmMain::fillRecentProjectsMenu()
{
    m_recentProjects->clear();
    const QStringList projects = m_preferences.recentProjects();
    if (projects.isEmpty())
        m_recentProjects->addAction(QStringLiteral("Cap projecte recent"))->setEnabled(false);
    for (const QString &project : projects) {
        QString text = project;
        text.replace(u'&', QLatin1String("&&"));
        m_recentProjects->addAction(text, this, [this, project] { onRecentProjectChosen(project); });
    }
}

void frmMain::onRecentProjectChosen(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        m_preferences.forgetRecentProject(path);
        showMessage(QStringLiteral("No es troba l'arxiu de projecte %1. S'ha tret de la llista de projectes recents.")
                        .arg(path),
                    MessageIcon::Error);
        return;
    }
    loadProjectFile(path);
}

// "Enviar Tramelo — NAME.pcm", with "*" while there are unsaved changes;
// without a project, the caption alone.
void frmMain::showTitle()
{
    const QString project = m_campaign.projectPath();
    if (project.isEmpty()) {
        setWindowModified(false);
        setWindowTitle(QStringLiteral("Enviar Tramelo"));
        return;
    }
    setWindowTitle(QStringLiteral("Enviar Tramelo — %1[*]").arg(QFileInfo(project).fileName()));
    setWindowModified(m_campaign.isDirty());
}

} // namespace tramelo
