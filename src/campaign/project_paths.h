#pragma once

#include "campaign_settings.h"

#include <QList>
#include <QString>

#include <utility>

namespace tramelo {

class Campaign;

// The files a campaign names (its database, body, attachments and extra
// certificates) are kept exactly as the operator wrote them: an absolute
// path stays absolute, a relative one stays relative, in the boxes and in
// the project file alike. A relative path is read against the folder of the
// project file, so a project folder can be moved or shared whole; before
// any project was saved or loaded it is left to the current folder, as
// before.

// The folder of the campaign's project file; empty without one.
QString projectFolderOf(const Campaign &campaign);

// path read against folder: unchanged when it is blank, holds a line break
// (a typed body, not a name), is absolute ("/", "~/", a drive or a network
// path) or when folder is empty.
QString resolvedAgainst(const QString &folder, const QString &path);

// path read against the campaign's project folder.
QString resolvedCampaignPath(const Campaign &campaign, const QString &path);

// The attachment list with each of its ";"-separated relative paths read
// against the project folder; absolute ones, and the separators, as typed.
QString resolvedAttachmentList(const Campaign &campaign, const QString &list);

// What the campaign's relative paths must read to name the same files from
// newFolder, the folder a project is about to be saved into: each rewritten
// relative to it, or absolute when no relative form reads as one. Read now
// against the project folder, or the current one before any project. Only
// the settings whose text changes; a body typed as text, connect strings
// and absolute paths never do.
QList<std::pair<Setting, QString>> pathsMovedTo(const Campaign &campaign, const QString &newFolder);

// The database box text as it is opened: a relative path that names a file
// in the project folder is that file; anything else, connect strings
// included, as typed.
QString databaseToOpen(const Campaign &campaign);

} // namespace tramelo
