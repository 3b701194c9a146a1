#pragma once

#include "clsEnviarCorreu.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace tramelo::test {

// Records the component's events in order, as readable lines:
// "Status: ...", "SendFailed: ...", "SendSuccesful", "Progress: n".
class MailEventLog : public QObject
{
public:
    explicit MailEventLog(clsEnviarCorreu &mail)
    {
        connect(&mail, &clsEnviarCorreu::Status, this, [this](const QString &text) { lines << QStringLiteral("Status: ") + text; });
        connect(&mail, &clsEnviarCorreu::SendFailed, this,
                [this](const QString &text) { lines << QStringLiteral("SendFailed: ") + text; });
        connect(&mail, &clsEnviarCorreu::SendSuccesful, this, [this] { lines << QStringLiteral("SendSuccesful"); });
        connect(&mail, &clsEnviarCorreu::Progress, this,
                [this](int percent) { lines << QStringLiteral("Progress: %1").arg(percent); });
    }

    QStringList lines;

    bool contains(const QString &line) const { return lines.contains(line); }
    int count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &line : lines)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }
    bool succeeded() const { return contains(QStringLiteral("SendSuccesful")); }
    QStringList failures() const
    {
        QStringList found;
        for (const QString &line : lines) {
            if (line.startsWith(QLatin1String("SendFailed: ")))
                found << line.mid(12);
        }
        return found;
    }
    QString text() const { return lines.join(u'\n'); }
};

// A component aimed at a server on loopback, with a small message to send.
inline void aimAt(clsEnviarCorreu &mail, const QString &host, quint16 port)
{
    mail.setSMTPHostValidation(0);
    mail.setSMTPHost(host);
    mail.setSMTPPort(port);
    mail.setConnectTimeout(5);
    mail.setMessageTimeout(5);
    mail.setConnectRetry(1);
}

inline void addSimpleMessage(clsEnviarCorreu &mail, const QString &from = QStringLiteral("jo@exemple.cat"),
                             const QString &to = QStringLiteral("tu@exemple.cat"))
{
    mail.setFrom(from);
    mail.setRecipient(to);
    mail.setSubject(QStringLiteral("Hola"));
    mail.setMessage(QStringLiteral("Bon dia"));
}

} // namespace tramelo::test
