#pragma once

#include <QByteArray>
#include <QProcess>
#include <QRegularExpressionMatch>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

#include <sys/types.h>

namespace tramelo::test {

// A TCP or UDP port on 127.0.0.1 that nothing listens on right now.
quint16 freeTcpPort();
quint16 freeUdpPort();

// Debian's interpreter, which has the test servers' Python modules.
QString debianPython();

// The repository's root folder.
QString sourceDir();

// A file of this folder (tests/support), such as one of the Python helpers.
QString supportFile(const QString &name);

// The folder of the shared public Access files (read only: copy before use).
QString sharedDataDir();

// Pumps the event loop until the predicate holds or the time runs out.
template <typename Predicate>
bool waitUntil(Predicate predicate, std::chrono::milliseconds timeout);
bool pumpEventsFor(std::chrono::milliseconds duration);

// The account a test server runs as: the current one, or "nobody" when the
// tests run as root, since some servers refuse root's privileges. Nothing
// when that account does not exist.
struct ServerAccount {
    uid_t uid;
    gid_t gid;
    QString name;
};
std::optional<ServerAccount> serverAccount();
bool changeOwner(const QString &path, const ServerAccount &account);

// A helper program started by a test and killed when the object goes.
class TestProcess
{
public:
    TestProcess() = default;
    ~TestProcess();
    TestProcess(const TestProcess &) = delete;
    TestProcess &operator=(const TestProcess &) = delete;

    // The process gets SIGTERM if the test dies first, so a crashed test
    // leaves no server behind (a program that changes its user loses this).
    // With an account other than the current one, the program runs as that
    // account (which needs root) and still gets the signal.
    bool start(const QString &program, const QStringList &arguments, const std::optional<ServerAccount> &account = {});
    // Waits until the process has written a line containing the marker on
    // its standard output or standard error.
    bool waitForOutput(const QByteArray &marker, std::chrono::milliseconds timeout);
    // Waits until the output matches the pattern; the match has no hit when
    // the time runs out or the process ends first.
    QRegularExpressionMatch waitForOutputMatch(const QRegularExpression &pattern,
                                               std::chrono::milliseconds timeout);
    // Waits until a TCP connection to 127.0.0.1:port succeeds.
    bool waitForTcpPort(quint16 port, std::chrono::milliseconds timeout);
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QByteArray output() const { return m_output; }
    // Collects what the process has written since, then returns it all.
    QByteArray readOutput();
    QProcess &process() { return m_process; }

private:
    void collectOutput();

    QProcess m_process;
    QByteArray m_output;
};

} // namespace tramelo::test

#include "test_support_impl.h"
