#pragma once

#include <QString>
#include <QStringList>

namespace tramelo {

// The kinds of file the window's dialogs choose, each remembered apart.
enum class FileKind { Project, Database, Body, Attachment, Certificates };

// What the window keeps for its operator from one session to the next, in
// the per-user settings (Tramelo/Tramelo.ini in the user's configuration
// folder): the folder last used for each kind of file, the projects last
// loaded or saved, and the address the operator's test sends go to.
class OperatorPreferences
{
public:
    static constexpr int maxRecentProjects = 8;

    // Empty until a file of that kind was chosen.
    QString lastFolder(FileKind kind) const;
    void rememberFolderOf(FileKind kind, const QString &chosenFile);

    // The most recent first.
    QStringList recentProjects() const;
    void addRecentProject(const QString &path);
    void forgetRecentProject(const QString &path);

    // Where the operator's test sends go (blank: the sender's address).
    QString testAddress() const;
    void setTestAddress(const QString &address);

private:
    void saveRecentProjects(const QStringList &projects);
};

} // namespace tramelo
