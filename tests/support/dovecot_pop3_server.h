#pragma once

#include "test_support.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace tramelo::test {

// Dovecot as a POP3 server on 127.0.0.1 at a free port, with a configuration
// of its own in a temporary folder (its runtime files, state, log and the
// test user's maildir too): POP3 only, no TLS, plaintext login allowed, one
// user and password. The system's Dovecot service and configuration are
// never touched. Stopped when the object goes.
//
// Its dialogue: greeting "+OK Dovecot (Debian) ready."; USER gets "+OK";
// a good PASS "+OK Logged in.", a bad one "-ERR [AUTH] Authentication
// failed." (after about half a second); QUIT "+OK Logging out." once logged
// in, "+OK Logging out" before.
class DovecotPop3Server
{
public:
    static QString program() { return QStringLiteral("/usr/sbin/dovecot"); }

    DovecotPop3Server(QString user = QStringLiteral("tester"), QString password = QStringLiteral("s3cret"))
        : m_user(std::move(user)), m_password(std::move(password))
    {
    }

    // Writes the configuration, starts Dovecot and waits for its greeting;
    // false with errorText() (which quotes Dovecot's log).
    bool start();
    QString errorText() const { return m_error; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    QByteArray log() const;

private:
    bool prepareFolder(QString &error);
    bool startOnPort(quint16 port);
    bool greets(quint16 port);

    QString m_user;
    QString m_password;
    QTemporaryDir m_folder;
    TestProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace tramelo::test
