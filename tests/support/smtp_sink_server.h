#pragma once

#include "test_support.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>

namespace tramelo::test {

// Postfix's smtp-sink on 127.0.0.1 at a free port: a fast server that takes
// messages and throws them away, or rejects chosen commands. Stopped when the
// object goes. Usable from benchmarks: no test framework inside.
//
// Its dialogue: greeting "220 smtp-sink ESMTP"; HELO gets "250 smtp-sink";
// the EHLO answer is "250-smtp-sink" then PIPELINING (left out when commands
// are rejected), 8BITMIME, XCLIENT NAME HELO, XFORWARD NAME ADDR PROTO HELO,
// ENHANCEDSTATUSCODES, DSN, and a last line "250 " with nothing after it.
// The fixture runs it with -a: smtp-sink would otherwise offer AUTH PLAIN
// LOGIN and then answer "AUTH LOGIN" with a bare "250 2.0.0 Ok", no login at
// all. A rejected command gets "500 5.3.0 Error: command failed" (hard) or
// "450 4.3.0 Error: command failed" (soft); after a rejected RCPT, DATA gets
// "503 5.5.1 Error: need RCPT command". "." is answered "250 2.0.0 Ok",
// QUIT "221 Bye".
class SmtpSinkServer
{
public:
    struct Options
    {
        // Commands answered with a 5xx or 4xx reply, by smtp-sink's names:
        // CONNECT, HELO, EHLO, MAIL, RCPT, DATA, "." (the end of data), QUIT...
        QStringList hardRejectCommands;
        QStringList softRejectCommands;
        // Keeps every message in a dump file for messages(); slows the sink,
        // so benchmarks leave it off.
        bool keepMessages = false;
        // The running counters that messageCount() reads. The sink writes
        // them at the end of every session and every message, and the
        // thread that pumps events reads them: a benchmark that compares
        // clients of which only one pumps events turns them off
        // (messageCount() then stays 0).
        bool counters = true;
    };

    // A message as smtp-sink dumps it: its lines end in LF (not CR LF) and
    // the dot-stuffing is removed. For byte-exact messages use AiosmtpdServer.
    struct Message
    {
        QString helo;
        QString mailArgs;
        QStringList rcptArgs;
        QByteArray content;
    };

    static QString program() { return QStringLiteral("/usr/sbin/smtp-sink"); }

    SmtpSinkServer() = default;
    explicit SmtpSinkServer(Options options) : m_options(std::move(options)) {}

    // Starts the sink and waits until it accepts connections; false with
    // errorText().
    bool start();
    QString errorText() const { return m_error; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }

    // Messages received so far (ended by "."), from the sink's own counters,
    // so it works without keepMessages. A message whose "." was rejected
    // counts too, and is kept as well.
    int messageCount();
    bool waitForMessageCount(int count, std::chrono::milliseconds timeout);
    // The kept messages, in order of arrival (needs keepMessages).
    QList<Message> messages() const;

private:
    bool startOnPort(quint16 port);

    Options m_options;
    QTemporaryDir m_folder;
    TestProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace tramelo::test
