// The session inside TLS against aiosmtpd: STARTTLS and implicit TLS with
// the login, and every server that cannot be trusted refused before a login
// or a message reaches it.
#include "aiosmtpd_server.h"
#include "clsEnviarCorreu.h"
#include "gtest_qt_printers.h"
#include "mail_event_log.h"
#include "test_certificates.h"

#include <QSslCertificate>
#include <QSet>
#include <QSslConfiguration>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

using Tls = AiosmtpdServer::Options::Tls;

const QString sender = QStringLiteral("jo@exemple.cat");
const QString user = QStringLiteral("usuari");
const QString password = QStringLiteral("contrasenya");

const TestCertificates &certificates()
{
    const TestCertificates &made = TestCertificates::shared();
    EXPECT_TRUE(made.ok()) << made.errorText().toStdString();
    return made;
}

AiosmtpdServer::Options tlsServer(Tls tls, const TestCertificates::Server &certificate)
{
    AiosmtpdServer::Options options;
    options.user = user;
    options.password = password;
    options.tls = tls;
    options.certificateFile = certificate.certificateFile;
    options.keyFile = certificate.keyFile;
    return options;
}

void aimWithLogin(clsEnviarCorreu &mail, const AiosmtpdServer &server, SecurityMode security, const QString &trusted)
{
    aimAt(mail, server.host(), server.port());
    addSimpleMessage(mail, sender);
    mail.setSecurity(security);
    mail.setTrustedCertificatesFile(trusted);
    mail.setUseAuthentication(true);
    mail.setUserName(user);
    mail.setPassword(password);
}

QString fingerprintOf(const QString &certificateFile)
{
    const QList<QSslCertificate> read = QSslCertificate::fromPath(certificateFile);
    return read.isEmpty() ? QString()
                          : QString::fromLatin1(read.first().digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QStringList verbs(const QStringList &commands)
{
    QStringList found;
    for (const QString &command : commands)
        found << command.section(u' ', 0, 0).toUpper();
    return found;
}

} // namespace

TEST(SmtpTls, SendsInsideTlsWithTheLoginItOffers)
{
    const TestCertificates &made = certificates();
    struct Case {
        const char *name;
        Tls tls;
        SecurityMode security;
        QStringList excludedMechanisms;
        QByteArray injected;
        QStringList commands; // the verbs the server read, in order
        QString mechanism;
        int messages = 1; // more than one: all on one session
    };
    const QStringList afterStartTls = {"EHLO", "STARTTLS", "EHLO", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"};
    const QStringList message = {"MAIL", "RCPT", "DATA"};
    const Case cases[] = {
        {"STARTTLS", Tls::StartTls, SecurityMode::StartTls, {}, {}, afterStartTls, "PLAIN"},
        {"SSL/TLS", Tls::Implicit, SecurityMode::ImplicitTls, {}, {},
         {"EHLO", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"}, "PLAIN"},
        {"STARTTLS without PLAIN", Tls::StartTls, SecurityMode::StartTls, {"PLAIN"}, {}, afterStartTls, "LOGIN"},
        // Read after the handshake, these words would make MAIL FROM carry
        // an AUTH parameter: they are dropped unread.
        {"STARTTLS with words injected after its 220", Tls::StartTls, SecurityMode::StartTls, {},
         "250-AUTH=LOGIN\r\n", afterStartTls, "PLAIN"},
        // TLS and the login once for the session.
        {"STARTTLS, three messages on one session", Tls::StartTls, SecurityMode::StartTls, {}, {},
         QStringList{"EHLO", "STARTTLS", "EHLO", "AUTH"} + message + message + message + QStringList{"QUIT"}, "PLAIN", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AiosmtpdServer::Options options = tlsServer(c.tls, made.good());
        options.excludedMechanisms = c.excludedMechanisms;
        options.injectAfterStartTls = c.injected;
        AiosmtpdServer server(options);
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        clsEnviarCorreu mail;
        MailEventLog events(mail);
        aimWithLogin(mail, server, c.security, made.authorityFile());

        mail.setKeepConnection(c.messages > 1);
        for (int i = 0; i < c.messages; ++i)
            mail.Send();
        mail.Disconnect();
        EXPECT_EQ(events.count(QStringLiteral("SendSuccesful")), c.messages) << events.text().toStdString();
        ASSERT_TRUE(server.waitForMessages(c.messages, 5s));
        for (const AiosmtpdServer::Message &received : server.messages()) {
            EXPECT_TRUE(received.tls.startsWith(QLatin1String("TLSv1."))) << received.tls.toStdString();
            EXPECT_EQ(received.login, user);
            EXPECT_EQ(received.mechanism, c.mechanism);
        }
        EXPECT_EQ(verbs(server.commands()), c.commands) << server.commands().join(u'|').toStdString();
        EXPECT_TRUE(server.commands().contains(QStringLiteral("MAIL FROM: <%1>").arg(sender)));
    }
}

TEST(SmtpTls, RefusesWhatItCannotTrustBeforeTheLogin)
{
    const TestCertificates &made = certificates();
    struct Case {
        const char *name;
        Tls tls;
        SecurityMode security;
        TestCertificates::Server certificate;
        QString trusted;
        QStringList reasons; // each must be in the failure
        QString subject;     // of the certificate shown, if one is
        QStringList excludedMechanisms = {};
    };
    const QString missingFile = made.authorityFile() + QStringLiteral(".missing");
    const Case cases[] = {
        {"unknown authority", Tls::StartTls, SecurityMode::StartTls, made.good(), QString(),
         {"it was issued by an unknown or untrusted authority"}, "127.0.0.1"},
        {"expired", Tls::StartTls, SecurityMode::StartTls, made.expired(), made.authorityFile(),
         {"it expired on 2021-01-01 00:00:00 UTC"}, "127.0.0.1"},
        {"name mismatch", Tls::Implicit, SecurityMode::ImplicitTls, made.otherName(), made.authorityFile(),
         {"it was issued for other.tramelo.test, not for 127.0.0.1"}, "other.tramelo.test"},
        {"self-signed", Tls::Implicit, SecurityMode::ImplicitTls, made.selfSigned(), made.authorityFile(),
         {"it is self-signed"}, "127.0.0.1"},
        {"a plain server on the SSL/TLS port", Tls::None, SecurityMode::ImplicitTls, made.good(), made.authorityFile(),
         {"The TLS handshake with the SMTP Host failed (on this port the server may expect STARTTLS, or no TLS at all)"},
         {}},
        {"a missing trusted certificates file", Tls::StartTls, SecurityMode::StartTls, made.good(), missingFile,
         {"Cannot use the trusted certificates file " + missingFile + ": it does not exist or is not a file"}, {}},
        // A login asked for is never skipped inside TLS.
        {"no login mechanism after STARTTLS", Tls::StartTls, SecurityMode::StartTls, made.good(), made.authorityFile(),
         {error_text::noLoginInsideTls}, {}, {"LOGIN", "PLAIN"}},
        {"no login mechanism on SSL/TLS", Tls::Implicit, SecurityMode::ImplicitTls, made.good(), made.authorityFile(),
         {error_text::noLoginInsideTls}, {}, {"LOGIN", "PLAIN"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AiosmtpdServer::Options options = tlsServer(c.tls, c.certificate);
        options.excludedMechanisms = c.excludedMechanisms;
        AiosmtpdServer server(options);
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        clsEnviarCorreu mail;
        MailEventLog events(mail);
        aimWithLogin(mail, server, c.security, c.trusted);

        mail.Send();
        EXPECT_FALSE(events.succeeded());
        const QStringList failures = events.failures();
        ASSERT_EQ(failures.size(), 1) << events.text().toStdString();
        // Refused before the login, or at it.
        EXPECT_EQ(int(mail.sendOutcome().stage), int(c.excludedMechanisms.isEmpty() ? SendStage::Connection : SendStage::Login));
        for (const QString &reason : c.reasons)
            EXPECT_TRUE(failures.first().contains(reason)) << failures.first().toStdString();
        if (!c.subject.isEmpty()) {
            EXPECT_TRUE(failures.first().contains(QStringLiteral("Certificate subject: ") + c.subject));
            EXPECT_TRUE(failures.first().contains(QLatin1String("SHA-256 fingerprint: ")
                                                  + fingerprintOf(c.certificate.certificateFile)))
                << failures.first().toStdString();
        }
        pumpEventsFor(100ms); // the server's log of a closing session
        const QStringList commands = verbs(server.commands());
        EXPECT_FALSE(commands.contains(QStringLiteral("AUTH")) || commands.contains(QStringLiteral("MAIL")))
            << commands.join(u'|').toStdString();
        EXPECT_EQ(server.messageCount(), 0);
        EXPECT_EQ(mail.socketState(), 0);
    }
}

TEST(SmtpTls, ExtraAuthoritiesAreTrustedBesideTheSystemsFromTls12On)
{
    const QList<QSslCertificate> extra = QSslCertificate::fromPath(certificates().authorityFile());
    ASSERT_EQ(extra.size(), 1);
    const QSslConfiguration configuration = clientTlsConfiguration(extra);
    const QList<QSslCertificate> trusted = configuration.caCertificates();
    EXPECT_TRUE(trusted.contains(extra.first()));
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    ASSERT_FALSE(system.isEmpty());
    for (const QSslCertificate &authority : system)
        EXPECT_TRUE(trusted.contains(authority)) << authority.subjectDisplayName().toStdString();
    // Each once: every connection loads the whole list.
    EXPECT_EQ(QSet<QSslCertificate>(trusted.cbegin(), trusted.cend()).size(), trusted.size());
    EXPECT_EQ(configuration.protocol(), QSsl::TlsV1_2OrLater);
    EXPECT_EQ(configuration.peerVerifyMode(), QSslSocket::VerifyPeer);
}
