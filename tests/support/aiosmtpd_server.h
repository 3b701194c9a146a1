#pragma once

#include "test_support.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>

namespace tramelo::test {

// Debian's aiosmtpd on 127.0.0.1 at a port the system chooses, started by
// aiosmtpd_server.py and stopped when the object goes.
//
// Its dialogue, for scripts and expectations: the greeting is
// "220 aiosmtpd.tramelo.test Python SMTP 1.4.3"; the EHLO answer is
//   250-aiosmtpd.tramelo.test / 250-SIZE 33554432 / 250-8BITMIME /
//   250-AUTH LOGIN PLAIN (only with a login) / 250 HELP
// with every line in its own write, so a client may read it in pieces.
// The LOGIN prompts are "334 VXNlciBOYW1lAA==" and "334 UGFzc3dvcmQA", that
// is "User Name" and "Password", each followed by a NUL byte. A good login
// gets "235 2.7.0 Authentication successful", a bad one
// "535 5.7.8 Authentication credentials invalid". Lines longer than 1000
// bytes get "500 Line too long", messages above 32 MiB "552".
class AiosmtpdServer
{
public:
    struct Options
    {
        // With both set, AUTH LOGIN and PLAIN are offered without TLS and
        // accept only this pair; otherwise no AUTH is offered.
        QString user;
        QString password;
        // MAIL, RCPT and DATA get "530" before a login.
        bool authRequired = false;
        // Every RCPT whose address contains one of these texts gets
        // "550 5.1.1 <address>: Recipient address rejected".
        QStringList rejectRecipientsContaining;
        // STARTTLS required before anything but EHLO, NOOP and QUIT ("530"
        // otherwise), or TLS from the connection's first byte; AUTH is then
        // offered only inside TLS. The server presents the certificate.
        enum class Tls { None, StartTls, Implicit };
        Tls tls = Tls::None;
        QString certificateFile{};
        QString keyFile{};
        // Sent in the clear in the same write as the "220" answering
        // STARTTLS, as an attacker on the way would.
        QByteArray injectAfterStartTls{};
        // Login mechanisms left out of the offer ("PLAIN").
        QStringList excludedMechanisms{};
        // Off, commands() stays empty and the server saves the writes (for
        // benchmarks).
        bool logCommands = true;
    };

    struct Message
    {
        QString mailFrom;
        QStringList rcptTos;
        QString helo;
        // The login name and mechanism ("PLAIN", "LOGIN") when the session
        // had logged in, else empty.
        QString login;
        QString mechanism;
        // The TLS version of the session ("TLSv1.3"), empty without TLS,
        // and whether it resumed an earlier session.
        QString tls;
        bool resumed = false;
        // The data as the client sent it, without the SMTP dot-stuffing
        // and without the final ".".
        QByteArray data;
    };

    AiosmtpdServer() = default;
    explicit AiosmtpdServer(Options options) : m_options(std::move(options)) {}

    // Starts the server and waits until it listens; false with errorText().
    bool start();
    QString errorText() const { return m_error; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    // The server's process, to read what it costs.
    qint64 processId() { return m_process.process().processId(); }

    // The messages received so far, in order of arrival.
    QList<Message> messages() const;
    int messageCount() const;
    // Pumps the event loop until at least count messages have arrived.
    bool waitForMessages(int count, std::chrono::milliseconds timeout) const;
    // Every command line the server has read, in order, of every session
    // (AUTH arguments masked).
    QStringList commands() const;
    // What the server has written (warnings, tracebacks).
    QByteArray log() { return m_process.readOutput(); }

private:
    QString commandLogPath() const { return m_folder.filePath(QStringLiteral("commands.log")); }

    Options m_options;
    QTemporaryDir m_folder;
    TestProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace tramelo::test
