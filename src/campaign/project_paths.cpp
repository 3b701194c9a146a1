#include "project_paths.h"

#include "campaign.h"
#include "connection_strings.h"
#include "plain_text.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace tramelo {

namespace {

// A relative path read against from, named so that it reads the same from to.
QString movedPath(const QString &from, const QString &to, const QString &path)
{
    const QString resolved = resolvedAgainst(from, path);
    if (resolved == path)
        return path;
    const QString target = QDir::cleanPath(resolved);
    const QString relative = QDir(to).relativeFilePath(target);
    return isFilePath(relative) ? target : relative;
}

QString movedAttachmentList(const QString &from, const QString &to, const QString &list)
{
    QStringList items = list.split(u';');
    for (QString &item : items) {
        // The blanks around a name are no part of it.
        const QString name = trimBlanks(item);
        if (const QString moved = movedPath(from, to, name); moved != name)
            item = moved;
    }
    return items.join(u';');
}

} // namespace

QString projectFolderOf(const Campaign &campaign)
{
    const QString project = campaign.projectPath();
    return project.isEmpty() ? QString() : QFileInfo(project).absolutePath();
}

QString resolvedAgainst(const QString &folder, const QString &path)
{
    if (folder.isEmpty() || isBlank(path) || path.contains(u'\n') || path.contains(u'\r') || isFilePath(path))
        return path;
    return folder + u'/' + path;
}

QString resolvedCampaignPath(const Campaign &campaign, const QString &path)
{
    return resolvedAgainst(projectFolderOf(campaign), path);
}

QString resolvedAttachmentList(const Campaign &campaign, const QString &list)
{
    const QString folder = projectFolderOf(campaign);
    if (folder.isEmpty())
        return list;
    QStringList items = list.split(u';');
    for (QString &item : items) {
        // The blanks around a name are no part of it.
        const QString name = trimBlanks(item);
        if (const QString resolved = resolvedAgainst(folder, name); resolved != name)
            item = resolved;
    }
    return items.join(u';');
}

QList<std::pair<Setting, QString>> pathsMovedTo(const Campaign &campaign, const QString &newFolder)
{
    const CampaignSettings &s = campaign.settings();
    QString from = projectFolderOf(campaign);
    if (from.isEmpty())
        from = QDir::currentPath();
    if (QDir(from) == QDir(newFolder))
        return {};
    QList<std::pair<Setting, QString>> moved = {
        {Setting::TrustedCertificatesFile, movedPath(from, newFolder, s.text(Setting::TrustedCertificatesFile))},
        {Setting::AttachmentList, movedAttachmentList(from, newFolder, s.text(Setting::AttachmentList))},
    };
    if (s.bodyKind() == BodyKind::File)
        moved.append({Setting::BodySource, movedPath(from, newFolder, s.text(Setting::BodySource))});
    // A relative database name is a file only where one is found; else it is
    // a connect string.
    const QString database = s.text(Setting::DatabaseSource);
    if (QFileInfo(resolvedAgainst(from, database)).isFile())
        moved.append({Setting::DatabaseSource, movedPath(from, newFolder, database)});
    moved.removeIf([&s](const std::pair<Setting, QString> &entry) { return entry.second == s.text(entry.first); });
    return moved;
}

QString databaseToOpen(const Campaign &campaign)
{
    const QString source = campaign.settings().text(Setting::DatabaseSource);
    const QString resolved = resolvedCampaignPath(campaign, source);
    return resolved != source && QFileInfo(resolved).isFile() ? resolved : source;
}

} // namespace tramelo
