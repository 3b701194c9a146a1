#include "aiosmtpd_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace tramelo::test {

namespace {

constexpr std::chrono::seconds startTimeout{20};

QStringList envelopeFiles(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
}

QString describeOutput(const QByteArray &output)
{
    return output.isEmpty() ? QStringLiteral("(no output)") : QString::fromUtf8(output);
}

} // namespace

bool AiosmtpdServer::start()
{
    const QString python = debianPython();
    const QString script = supportFile(QStringLiteral("aiosmtpd_server.py"));
    if (!QFileInfo(python).isExecutable()) {
        m_error = python + QStringLiteral(" is missing: install the Debian packages python3 and python3-aiosmtpd");
        return false;
    }
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("cannot make a temporary folder: ") + m_folder.errorString();
        return false;
    }

    // -I keeps the interpreter away from PYTHONPATH and user site folders.
    QStringList arguments{QStringLiteral("-I"), script, QStringLiteral("--folder"), m_folder.path()};
    if (!m_options.user.isEmpty() && !m_options.password.isEmpty())
        arguments << QStringLiteral("--user") << m_options.user << QStringLiteral("--password") << m_options.password;
    if (m_options.authRequired)
        arguments << QStringLiteral("--auth-required");
    for (const QString &text : m_options.rejectRecipientsContaining)
        arguments << QStringLiteral("--reject-rcpt-containing") << text;
    if (m_options.tls != Options::Tls::None) {
        arguments << QStringLiteral("--tls")
                  << (m_options.tls == Options::Tls::StartTls ? QStringLiteral("starttls") : QStringLiteral("implicit"))
                  << QStringLiteral("--cert") << m_options.certificateFile << QStringLiteral("--key") << m_options.keyFile;
    }
    if (!m_options.injectAfterStartTls.isEmpty())
        arguments << QStringLiteral("--inject-after-starttls") << QString::fromLatin1(m_options.injectAfterStartTls);
    for (const QString &mechanism : m_options.excludedMechanisms)
        arguments << QStringLiteral("--exclude-mechanism") << mechanism;
    if (m_options.logCommands)
        arguments << QStringLiteral("--command-log") << commandLogPath();

    if (!m_process.start(python, arguments)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(python, m_process.process().errorString());
        return false;
    }
    static const QRegularExpression readyLine(QStringLiteral("^READY (\\d+)\\n"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = m_process.waitForOutputMatch(readyLine, startTimeout);
    if (!match.hasMatch()) {
        m_error = QStringLiteral("aiosmtpd did not start within %1 s: %2")
                      .arg(startTimeout.count())
                      .arg(describeOutput(m_process.readOutput()));
        m_process.stop();
        return false;
    }
    m_port = match.captured(1).toUShort();
    return true;
}

QList<AiosmtpdServer::Message> AiosmtpdServer::messages() const
{
    QList<Message> messages;
    for (const QString &name : envelopeFiles(m_folder.path())) {
        const QString stem = m_folder.filePath(QFileInfo(name).completeBaseName());
        QFile envelopeFile(stem + QStringLiteral(".json"));
        QFile dataFile(stem + QStringLiteral(".eml"));
        if (!envelopeFile.open(QIODevice::ReadOnly) || !dataFile.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject envelope = QJsonDocument::fromJson(envelopeFile.readAll()).object();
        Message message;
        message.mailFrom = envelope.value(QStringLiteral("mail_from")).toString();
        for (const QJsonValue &recipient : envelope.value(QStringLiteral("rcpt_tos")).toArray())
            message.rcptTos << recipient.toString();
        message.helo = envelope.value(QStringLiteral("helo")).toString();
        message.login = envelope.value(QStringLiteral("login")).toString();
        message.mechanism = envelope.value(QStringLiteral("mechanism")).toString();
        message.tls = envelope.value(QStringLiteral("tls")).toString();
        message.resumed = envelope.value(QStringLiteral("resumed")).toBool();
        message.data = dataFile.readAll();
        messages << message;
    }
    return messages;
}

QStringList AiosmtpdServer::commands() const
{
    QFile log(commandLogPath());
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

int AiosmtpdServer::messageCount() const
{
    return static_cast<int>(envelopeFiles(m_folder.path()).size());
}

bool AiosmtpdServer::waitForMessages(int count, std::chrono::milliseconds timeout) const
{
    return waitUntil([&] { return messageCount() >= count; }, timeout);
}

} // namespace tramelo::test
