#include "project_lock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tramelo {
namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What the holder wrote into the lock file, if it is a process id.
QString holderOf(int descriptor)
{
    char text[32] = {};
    const ssize_t length = ::pread(descriptor, text, sizeof text - 1, 0);
    const QByteArray id = QByteArray(text, length > 0 ? length : 0).trimmed();
    bool isNumber = false;
    id.toLongLong(&isNumber);
    return isNumber ? QString::fromLatin1(id) : QString();
}

ProjectLock::Failure heldBy(const QString &holder)
{
    const QString process = holder.isEmpty() ? QStringLiteral("d'un altre procés")
                                             : QStringLiteral("del procés %1").arg(holder);
    return {true,
            QStringLiteral("Aquest projecte ja s'està enviant des %1: no se'n poden fer dos enviaments alhora").arg(process)};
}

// The lock file itself cannot be used: "what" names the step, with %1 for
// the file and %2 for the system's reason.
ProjectLock::Failure unusable(const char16_t *what, const QString &lockPath, int error)
{
    return {false, QString::fromUtf16(what).arg(lockPath, systemReason(error))};
}

// A lock file removed by its last holder, between our open and our lock, is
// no longer the one at the path: the lock must be taken on the new one.
bool stillAtPath(int descriptor, const QByteArray &path)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(descriptor, &opened) == 0 && ::stat(path.constData(), &named) == 0
        && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

ProjectLock::~ProjectLock()
{
    release();
}

QString ProjectLock::lockPathFor(const QString &projectPath)
{
    return projectPath + QStringLiteral(".lock");
}

std::optional<ProjectLock::Failure> ProjectLock::acquire(const QString &projectPath)
{
    release();
    const QString lockPath = lockPathFor(projectPath);
    const QByteArray path = QFile::encodeName(lockPath);
    // Each try that fails to this race means another run let the lock go
    // just then; a few tries are plenty.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int descriptor = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (descriptor < 0)
            return unusable(u"No es pot crear l'arxiu de bloqueig %1: %2", lockPath, errno);
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            const QString holder = holderOf(descriptor);
            ::close(descriptor);
            if (error == EWOULDBLOCK)
                return heldBy(holder);
            return unusable(u"No es pot bloquejar l'arxiu %1: %2", lockPath, error);
        }
        if (!stillAtPath(descriptor, path)) {
            ::close(descriptor);
            continue;
        }
        const QByteArray id = QByteArray::number(qint64(::getpid())) + '\n';
        if (::ftruncate(descriptor, 0) != 0 || ::pwrite(descriptor, id.constData(), size_t(id.size()), 0) != id.size()) {
            const int error = errno;
            ::close(descriptor);
            return unusable(u"No es pot escriure l'arxiu de bloqueig %1: %2", lockPath, error);
        }
        m_descriptor = descriptor;
        m_path = lockPath;
        return std::nullopt;
    }
    return heldBy(QString());
}

void ProjectLock::release()
{
    if (m_descriptor < 0)
        return;
    // Removed while still held, so that nobody takes a lock on a file that
    // is about to go.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_descriptor);
    m_descriptor = -1;
    m_path.clear();
}

} // namespace tramelo
