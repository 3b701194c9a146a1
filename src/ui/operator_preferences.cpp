#include "operator_preferences.h"

#include <QFileInfo>
#include <QSettings>

namespace tramelo {
namespace {

QSettings store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tramelo"), QStringLiteral("Tramelo"));
}

QString folderKey(FileKind kind)
{
    switch (kind) {
    case FileKind::Project:
        return QStringLiteral("carpetes/projectes");
    case FileKind::Database:
        return QStringLiteral("carpetes/bases-de-dades");
    case FileKind::Body:
        return QStringLiteral("carpetes/cossos");
    case FileKind::Attachment:
        return QStringLiteral("carpetes/annexos");
    case FileKind::Certificates:
        return QStringLiteral("carpetes/certificats");
    }
    return {};
}

const QString recentKey = QStringLiteral("projectes-recents");
const QString testAddressKey = QStringLiteral("adreca-prova");

} // namespace

QString OperatorPreferences::lastFolder(FileKind kind) const
{
    return store().value(folderKey(kind)).toString();
}

void OperatorPreferences::rememberFolderOf(FileKind kind, const QString &chosenFile)
{
    store().setValue(folderKey(kind), QFileInfo(chosenFile).absolutePath());
}

QStringList OperatorPreferences::recentProjects() const
{
    return store().value(recentKey).toStringList().mid(0, maxRecentProjects);
}

void OperatorPreferences::addRecentProject(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList projects = recentProjects();
    projects.removeAll(absolute);
    projects.prepend(absolute);
    saveRecentProjects(projects.mid(0, maxRecentProjects));
}

void OperatorPreferences::forgetRecentProject(const QString &path)
{
    QStringList projects = recentProjects();
    projects.removeAll(path);
    saveRecentProjects(projects);
}

QString OperatorPreferences::testAddress() const
{
    return store().value(testAddressKey).toString();
}

void OperatorPreferences::setTestAddress(const QString &address)
{
    store().setValue(testAddressKey, address);
}

void OperatorPreferences::saveRecentProjects(const QStringList &projects)
{
    store().setValue(recentKey, projects);
}

} // namespace tramelo
