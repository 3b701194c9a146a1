#pragma once

// The mail core in a test: its client runs on a thread of its own, since it
// blocks, while the test's thread plays the scripted server (which needs
// the event loop); messages composed at a pinned time.
#include "aiosmtpd_server.h"
#include "message_composer.h"
#include "smtp_client.h"
#include "test_support.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>

namespace tramelo::test {

inline ComposerClock pinnedClock()
{
    return {[] { return QDateTime(QDate(2026, 12, 6), QTime(13, 57, 24)); }, -60,
            [] { return QStringLiteral("mjs5ru0g.4f2a9c1e7b3d5a60"); }};
}

inline SmtpSessionConfig loopbackConfig(quint16 port, QString host = QStringLiteral("127.0.0.1"))
{
    SmtpSessionConfig config;
    config.host = std::move(host);
    config.port = port;
    config.greetingName = QStringLiteral("exemple.cat");
    config.timeouts.connect = std::chrono::seconds(5);
    config.timeouts.reply = std::chrono::seconds(5);
    config.connectAttempts = 1;
    return config;
}

// What the client said, in order: each call's outcomes ("send 2: 1 sent")
// and its events.
struct CoreEvents : SmtpClientEvents {
    QStringList lines;
    QList<quint64> delivered;
    void beforeEndOfData(quint64 message) override
    {
        // Every earlier outcome is in the caller's hands by now.
        bool all = true;
        for (quint64 earlier = 1; earlier < message; ++earlier)
            all = all && delivered.contains(earlier);
        lines << QStringLiteral("barrier %1%2").arg(message).arg(all ? "" : " before earlier outcomes");
    }
};

inline QString summary(const Delivery &delivery)
{
    static const char *const stages[] = {"Validation", "Connection", "Login", "Sender", "Recipient", "Data", "Timeout"};
    const SendOutcome &o = delivery.outcome;
    QString text = QStringLiteral("%1 ").arg(delivery.id) + (o.sent ? QStringLiteral("sent") : QLatin1String(stages[int(o.stage)]));
    if (o.inDoubt)
        text += QStringLiteral(" in doubt");
    if (!o.refused.isEmpty())
        text += QStringLiteral(" refused %1").arg(o.refused.size());
    return text;
}

inline void record(const QString &call, const std::vector<Delivery> &deliveries, CoreEvents &events,
                   QList<Delivery> *all = nullptr)
{
    for (const Delivery &delivery : deliveries) {
        events.lines << call + QStringLiteral(": ") + summary(delivery);
        events.delivered << delivery.id;
        if (all)
            all->append(delivery);
    }
}

// Runs the work on a thread of its own while the event loop turns here.
inline void runBesideEventLoop(const std::function<void()> &work, std::chrono::milliseconds timeout)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    waitUntil([&] { return done.load(); }, timeout);
    worker.join();
}

// A message of these parts (its body linked to the files it shows) and the
// files at these paths, encoded as its format wants them.
inline std::shared_ptr<const ComposedMessage> composed(const MessageSettings &settings, MessageParts parts, const QStringList &files,
                                                       qint64 memoryBound = encodedFilesMemoryBound)
{
    const MessageComposer composer(settings, encodeFiles(files, settings.mime ? FileEncoding::Base64 : FileEncoding::Uuencode, memoryBound).files);
    const BodyLinks links = composer.linkEmbeddedFiles(parts.body);
    return composer.compose(parts, links);
}

// Sends the messages to aiosmtpd, one each to tu@exemple.cat, and returns
// the data it saved of each. With HELO the server offers no 8BITMIME, and
// each message goes in its 7-bit form.
inline QList<QByteArray> deliveredBy(AiosmtpdServer &server, const QList<std::shared_ptr<const ComposedMessage>> &messages,
                                     GreetingPolicy greeting = GreetingPolicy::Extended)
{
    SmtpSessionConfig config = loopbackConfig(server.port());
    config.greeting = greeting;
    const int before = server.messageCount();
    SmtpClient client(config);
    for (qsizetype i = 0; i < messages.size(); ++i)
        client.send({quint64(i), {QStringLiteral("jo@exemple.cat"), {QStringLiteral("tu@exemple.cat")}}, messages[i]});
    client.close();
    QList<QByteArray> saved;
    server.waitForMessages(before + int(messages.size()), std::chrono::seconds(10));
    for (const AiosmtpdServer::Message &message : server.messages().mid(before))
        saved << message.data;
    return saved;
}

} // namespace tramelo::test
