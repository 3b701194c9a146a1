#include "project_paths.h"

#include "campaign.h"
#include "connection_strings.h"
#include "plain_text.h"

#include <QFileInfo>
#include <QStringList>

namespace tramelo {

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

QString databaseToOpen(const Campaign &campaign)
{
    const QString source = campaign.settings().text(Setting::DatabaseSource);
    const QString resolved = resolvedCampaignPath(campaign, source);
    return resolved != source && QFileInfo(resolved).isFile() ? resolved : source;
}

} // namespace tramelo
