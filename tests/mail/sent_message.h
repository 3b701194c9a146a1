#pragma once

// Whole messages sent by the component in a test: a pinned clock, file bytes,
// and one Send captured raw by a scripted server or stored by aiosmtpd and
// read back by Python's email package.
#include "aiosmtpd_server.h"
#include "clsEnviarCorreu.h"
#include "mail_event_log.h"
#include "mime_report.h"
#include "scripted_server.h"
#include "smtp_script.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tramelo::test {

// 6 December 2026 at 13:57:24, one hour east of UTC, and a fixed Message-ID.
inline MailPlatform pinnedPlatform()
{
    MailPlatform platform;
    platform.clock = [] { return QDateTime(QDate(2026, 12, 6), QTime(13, 57, 24)); };
    platform.timeZoneBiasMinutes = -60;
    platform.messageIdPart = [] { return QStringLiteral("mjs5ru0g.4f2a9c1e7b3d5a60"); };
    return platform;
}

inline QByteArray patternBytes(qsizetype size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

inline QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// Runs one Send against a scripted server that accepts everything and returns
// the data exactly as it arrived (dot-stuffing included).
inline QByteArray sendAndCapture(clsEnviarCorreu &mail, const QStringList &recipients)
{
    using namespace std::chrono_literals;
    ScriptedSmtpServer server;
    const QString domain = mail.from().section(u'@', 1);
    server.addScript(script::greeting() + script::helo(domain) + script::envelope(mail.from(), recipients)
                     + script::data() + script::quit());
    if (!server.listen())
        return {};
    aimAt(mail, server.host(), server.port());
    mail.Send();
    EXPECT_TRUE(server.waitForFinished(10s)) << server.verify().toStdString();
    return server.capturedData().value(0);
}

// Runs one Send against aiosmtpd and returns what Python's email package reads
// in the stored message, after checking that it was sent and read without
// defects; the stored bytes go to *stored when asked.
inline QJsonObject sendAndInspect(AiosmtpdServer &server, clsEnviarCorreu &mail, QByteArray *stored = nullptr)
{
    using namespace std::chrono_literals;
    const int before = server.messageCount();
    MailEventLog events(mail);
    aimAt(mail, server.host(), server.port());
    mail.Send();
    EXPECT_TRUE(events.succeeded()) << events.text();
    if (!server.waitForMessages(before + 1, 10s))
        return {};
    const QByteArray data = server.messages().value(before).data;
    if (stored)
        *stored = data;
    const MimeInspection inspection = inspectMime(data);
    EXPECT_TRUE(inspection.error.isEmpty()) << inspection.error;
    EXPECT_TRUE(inspection.message[QStringLiteral("defects")].toArray().isEmpty()) << data.left(2000).toStdString();
    return inspection.message;
}

inline QJsonObject partNamed(const QJsonObject &message, const QString &filename)
{
    for (const QJsonValue part : message[QStringLiteral("parts")].toArray()) {
        if (part[QStringLiteral("filename")].toString() == filename)
            return part.toObject();
    }
    return {};
}

inline QString firstHeader(const QJsonObject &message, const QString &name)
{
    return message[QStringLiteral("headers")][name].toArray().first().toString();
}

} // namespace tramelo::test
