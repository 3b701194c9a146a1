#pragma once

#include <QString>

#include <optional>

namespace tramelo {

// The one definitive run a project may have at a time: an exclusive
// advisory lock (flock) on the file NAME.lock beside the project NAME, which
// holds the process id of the run that has it. The kernel drops the lock
// when that process ends, however it ends, so a run killed at any moment
// never keeps the next one from starting.
class ProjectLock
{
public:
    ProjectLock() = default;
    ~ProjectLock();
    ProjectLock(const ProjectLock &) = delete;
    ProjectLock &operator=(const ProjectLock &) = delete;

    static QString lockPathFor(const QString &projectPath);

    // Why the lock was not taken, for the operator: the other run's process
    // id, or why the lock file cannot be used.
    struct Failure {
        bool heldByAnotherRun;
        QString reason;
    };
    // Takes the lock of the project; nothing on success.
    std::optional<Failure> acquire(const QString &projectPath);
    // Removes the lock file and lets the lock go; the object goes the same way.
    void release();

private:
    int m_descriptor = -1;
    QString m_path;
};

} // namespace tramelo
