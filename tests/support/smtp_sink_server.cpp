#include "smtp_sink_server.h"

#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace tramelo::test {

namespace {

constexpr std::chrono::seconds startTimeout{10};
constexpr int portAttempts = 3;
// smtp-sink writes this before every message it dumps ("\f" is its escape).
const QByteArray dumpMarker = "\f==== smtp-sink message ====\n";
const char dumpMarkerArgument[] = "\\f==== smtp-sink message ====\\n";
// smtp-sink refuses to keep root's privileges; it needs an ordinary user.
const char unprivilegedUser[] = "nobody";

SmtpSinkServer::Message parseDumpedMessage(const QByteArray &dump)
{
    SmtpSinkServer::Message message;
    qsizetype position = 0;
    bool inReceived = false;
    while (position < dump.size()) {
        qsizetype end = dump.indexOf('\n', position);
        if (end < 0)
            end = dump.size();
        const QByteArray line = dump.mid(position, end - position);
        if (inReceived && !line.startsWith('\t'))
            break;
        position = end + 1;
        const auto value = [&line] { return QString::fromLatin1(line.mid(line.indexOf(':') + 2)); };
        if (line.startsWith("X-Helo-Args: "))
            message.helo = value();
        else if (line.startsWith("X-Mail-Args: "))
            message.mailArgs = value();
        else if (line.startsWith("X-Rcpt-Args: "))
            message.rcptArgs << value();
        else if (line.startsWith("Received: "))
            inReceived = true;
    }
    message.content = dump.mid(position);
    // smtp-sink ends every dumped message with an empty line of its own.
    if (message.content.endsWith('\n'))
        message.content.chop(1);
    return message;
}

} // namespace

bool SmtpSinkServer::start()
{
    if (!QFileInfo(program()).isExecutable()) {
        m_error = program() + QStringLiteral(" is missing: install the Debian package postfix");
        return false;
    }
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("cannot make a temporary folder: ") + m_folder.errorString();
        return false;
    }
    if (::geteuid() == 0) {
        const passwd *user = ::getpwnam(unprivilegedUser);
        if (!user) {
            m_error = QStringLiteral("smtp-sink cannot run as root and there is no user \"nobody\"");
            return false;
        }
        if (::chown(QFile::encodeName(m_folder.path()).constData(), user->pw_uid, user->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand the dump folder to \"nobody\"");
            return false;
        }
    }
    for (int attempt = 0; attempt < portAttempts; ++attempt) {
        if (startOnPort(freeTcpPort()))
            return true;
    }
    m_error = QStringLiteral("smtp-sink did not start: ") + QString::fromLocal8Bit(m_process.readOutput());
    return false;
}

bool SmtpSinkServer::startOnPort(quint16 port)
{
    QStringList arguments;
    if (::geteuid() == 0)
        arguments << QStringLiteral("-u") << QString::fromLatin1(unprivilegedUser);
    arguments << QStringLiteral("-a");
    if (m_options.counters)
        arguments << QStringLiteral("-c");
    if (!m_options.hardRejectCommands.isEmpty())
        arguments << QStringLiteral("-f") << m_options.hardRejectCommands.join(QLatin1Char(','));
    if (!m_options.softRejectCommands.isEmpty())
        arguments << QStringLiteral("-r") << m_options.softRejectCommands.join(QLatin1Char(','));
    if (m_options.keepMessages) {
        arguments << QStringLiteral("-D") << m_folder.filePath(QStringLiteral("dump"))
                  << QStringLiteral("-S") << QString::fromLatin1(dumpMarkerArgument);
    }
    arguments << QStringLiteral("127.0.0.1:%1").arg(port) << QStringLiteral("256");

    if (!m_process.start(program(), arguments))
        return false;
    if (!m_process.waitForTcpPort(port, startTimeout)) {
        m_process.stop();
        return false;
    }
    m_port = port;
    return true;
}

int SmtpSinkServer::messageCount()
{
    // The counters line is rewritten in place: "sess=N quit=N mesg=N" CR.
    const QByteArray output = m_process.readOutput();
    const qsizetype at = output.lastIndexOf("mesg=");
    if (at < 0)
        return 0;
    const qsizetype end = output.indexOf('\r', at);
    return output.mid(at + 5, end < 0 ? -1 : end - at - 5).toInt();
}

bool SmtpSinkServer::waitForMessageCount(int count, std::chrono::milliseconds timeout)
{
    return waitUntil([&] { return messageCount() >= count; }, timeout);
}

QList<SmtpSinkServer::Message> SmtpSinkServer::messages() const
{
    QFile dumpFile(m_folder.filePath(QStringLiteral("dump")));
    if (!dumpFile.open(QIODevice::ReadOnly))
        return {};
    const QByteArray dump = dumpFile.readAll();
    QList<Message> messages;
    for (qsizetype start = dump.indexOf(dumpMarker); start >= 0;) {
        start += dumpMarker.size();
        const qsizetype next = dump.indexOf(dumpMarker, start);
        messages << parseDumpedMessage(dump.mid(start, next < 0 ? -1 : next - start));
        start = next;
    }
    return messages;
}

} // namespace tramelo::test
