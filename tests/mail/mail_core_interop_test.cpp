// The mail core against real servers: aiosmtpd in the clear, over STARTTLS
// and over implicit TLS (the login each offers, an 8-bit body read back by
// Python's email package, TLS sessions resumed by a later connection, a
// login that cannot happen inside TLS), Postfix's smtp-sink pipelined and
// counting every message, Dovecot's POP3 before SMTP; and every refused
// certificate in the words the operator read from Qt's socket.
#include "dovecot_pop3_server.h"
#include "gtest_qt_printers.h"
#include "mail_core_run.h"
#include "sent_message.h"
#include "smtp_sink_server.h"
#include "test_certificates.h"
#include "certificate_failure.h"
#include "tls_context.h"
#include "transport.h"

#include <QSslSocket>

#include <openssl/x509_vfy.h>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;
using Tls = AiosmtpdServer::Options::Tls;

namespace {

const QString sender = QStringLiteral("jo@exemple.cat");

QList<Delivery> sendMessages(const SmtpSessionConfig &config, int count, const QString &body = QStringLiteral("Bon dia"))
{
    MessageSettings settings;
    settings.sender = sender;
    const MessageComposer composer(settings, {});
    SmtpClient client(config);
    QList<Delivery> deliveries;
    for (int i = 1; i <= count; ++i) {
        const QStringList to = {QStringLiteral("tu%1@exemple.cat").arg(i)};
        for (Delivery &delivery : client.send({quint64(i), {sender, to}, composer.compose({to, {}, {}, {}, QStringLiteral("Hola"), body}, {})}))
            deliveries << delivery;
    }
    for (Delivery &delivery : client.close())
        deliveries << delivery;
    return deliveries;
}

QStringList verbs(const QStringList &commands)
{
    QStringList found;
    for (const QString &command : commands)
        found << command.section(u' ', 0, 0).toUpper();
    return found;
}

std::shared_ptr<TlsContext> tlsContext(const QString &trusted)
{
    QString failure;
    std::shared_ptr<TlsContext> context = TlsContext::make(trusted, failure);
    EXPECT_TRUE(context) << failure;
    return context;
}

} // namespace

TEST(MailCoreInterop, AiosmtpdInTheClearAndInTls)
{
    const TestCertificates &made = TestCertificates::shared();
    ASSERT_TRUE(made.ok()) << made.errorText();
    const QString body = QStringLiteral("Benvinguda, Łucja! Preu: 5 €\r\n.punt\r\n");
    const QStringList message = {"MAIL", "RCPT", "DATA"};
    struct Row {
        const char *name;
        Tls tls;
        SecurityMode security;
        QStringList excluded;
        QStringList verbs; // of one run of two messages
        QString mechanism;
        QString failure = {};
    };
    const Row rows[] = {
        {"in the clear", Tls::None, SecurityMode::None, {}, QStringList{"EHLO"} + message + message + QStringList{"QUIT"}, {}},
        {"STARTTLS, PLAIN inside it", Tls::StartTls, SecurityMode::StartTls, {},
         QStringList{"EHLO", "STARTTLS", "EHLO", "AUTH"} + message + message + QStringList{"QUIT"}, "PLAIN"},
        {"SSL/TLS, LOGIN where PLAIN is not offered", Tls::Implicit, SecurityMode::ImplicitTls, {"PLAIN"},
         QStringList{"EHLO", "AUTH"} + message + message + QStringList{"QUIT"}, "LOGIN"},
        {"no login inside TLS", Tls::StartTls, SecurityMode::StartTls, {"PLAIN", "LOGIN"},
         {"EHLO", "STARTTLS", "EHLO", "QUIT"}, {}, "The SMTP Host offers no login mechanism inside TLS\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        AiosmtpdServer::Options options;
        options.user = QStringLiteral("usuari");
        options.password = QStringLiteral("clau");
        options.tls = row.tls;
        options.certificateFile = made.good().certificateFile;
        options.keyFile = made.good().keyFile;
        options.excludedMechanisms = row.excluded;
        // Read after the handshake, these words would add an AUTH= to MAIL FROM.
        options.injectAfterStartTls = "250-AUTH=LOGIN\r\n";
        AiosmtpdServer server(options);
        ASSERT_TRUE(server.start()) << server.errorText();
        SmtpSessionConfig config = loopbackConfig(server.port());
        config.security = row.security;
        config.tls = tlsContext(made.authorityFile());
        config.login = row.tls != Tls::None;
        config.credentials = {QStringLiteral("usuari"), QStringLiteral("clau")};

        // Two runs of the same context: the second resumes the first's TLS session.
        for (int run = 0; run < 2; ++run) {
            const QList<Delivery> deliveries = sendMessages(config, 2, body);
            ASSERT_EQ(deliveries.size(), 2);
            EXPECT_EQ(deliveries[0].outcome.reply, row.failure.isEmpty() ? QStringLiteral("250 2.0.0 Message accepted\r\n") : row.failure);
        }
        pumpEventsFor(100ms); // the server's log of the closing session
        EXPECT_EQ(verbs(server.commands()).mid(0, row.verbs.size()), row.verbs) << server.commands().join(u'|');
        if (!row.failure.isEmpty()) {
            EXPECT_EQ(server.messageCount(), 0);
            continue;
        }
        ASSERT_TRUE(server.waitForMessages(4, 5s));
        const QList<AiosmtpdServer::Message> received = server.messages();
        EXPECT_EQ(received[0].mechanism, row.mechanism);
        EXPECT_EQ(received[0].tls.isEmpty(), row.tls == Tls::None);
        EXPECT_EQ(received[3].resumed, row.tls != Tls::None);
        EXPECT_TRUE(server.commands().contains(QStringLiteral("MAIL FROM: <%1> BODY=8BITMIME").arg(sender)));
        const MimeInspection read = inspectMime(received[0].data);
        EXPECT_TRUE(read.message[QStringLiteral("defects")].toArray().isEmpty());
        EXPECT_EQ(read.message[QStringLiteral("parts")][0][QStringLiteral("text")].toString(), QStringLiteral("\r\n") + body + QStringLiteral("\r\n\r\n\r\n"));
    }
}

TEST(MailCoreInterop, SmtpSinkPipelinedSessionsCountEveryMessage)
{
    SmtpSinkServer sink;
    ASSERT_TRUE(sink.start()) << sink.errorText();
    SmtpSessionConfig config = loopbackConfig(sink.port());
    const QList<Delivery> deliveries = sendMessages(config, 250);
    ASSERT_EQ(deliveries.size(), 250);
    for (const Delivery &delivery : deliveries)
        ASSERT_TRUE(delivery.outcome.sent) << delivery.outcome.reply;
    EXPECT_TRUE(sink.waitForMessageCount(250, 10s));
    EXPECT_EQ(sink.messageCount(), 250);
}

TEST(MailCoreInterop, Pop3LoginWithDovecotBeforeSmtp)
{
    DovecotPop3Server pop3;
    ASSERT_TRUE(pop3.start()) << pop3.errorText();
    AiosmtpdServer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.errorText();
    for (const bool rightPassword : {true, false}) {
        SCOPED_TRACE(rightPassword);
        SmtpSessionConfig config = loopbackConfig(smtp.port());
        config.pop3 = Pop3BeforeSmtp{pop3.host(), pop3.port()};
        config.credentials = {pop3.user(), rightPassword ? pop3.password() : QStringLiteral("dolenta")};
        const QList<Delivery> deliveries = sendMessages(config, 1);
        ASSERT_EQ(deliveries.size(), 1);
        EXPECT_EQ(deliveries[0].outcome.sent, rightPassword) << deliveries[0].outcome.reply;
        EXPECT_EQ(deliveries[0].outcome.reply.startsWith(u"-ERR"), !rightPassword);
    }
    EXPECT_EQ(smtp.messageCount(), 1);
}

// The same certificate refused by Qt's socket, as the component words it
// from Qt's errors, and by the core's OpenSSL layer: the same words.
TEST(MailCoreInterop, RefusedCertificatesInTheWordsOperatorsKnow)
{
    const TestCertificates &made = TestCertificates::shared();
    ASSERT_TRUE(made.ok()) << made.errorText();
    const struct {
        const char *name;
        TestCertificates::Server certificate;
        QString trusted;
    } rows[] = {
        {"unknown authority", made.good(), QString()},
        {"expired", made.expired(), made.authorityFile()},
        {"issued for another name", made.otherName(), made.authorityFile()},
        {"self-signed", made.selfSigned(), made.authorityFile()},
        {"unknown authority and another name", made.otherName(), QString()},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        AiosmtpdServer::Options options;
        options.tls = Tls::Implicit;
        options.certificateFile = row.certificate.certificateFile;
        options.keyFile = row.certificate.keyFile;
        AiosmtpdServer server(options);
        ASSERT_TRUE(server.start()) << server.errorText();

        QSslSocket qt;
        qt.setSslConfiguration(clientTlsConfiguration(readTrustedCertificates(row.trusted).certificates));
        qt.setPeerVerifyName(server.host());
        qt.connectToHostEncrypted(server.host(), server.port());
        EXPECT_FALSE(qt.waitForEncrypted(5000));
        const QString qtWords = certificateFailureText(qt.sslHandshakeErrors(), qt.peerCertificate(), server.host());

        Transport core;
        ASSERT_EQ(core.connect(server.host(), server.port(), deadlineAfter(5s)), Transport::Status::Ok);
        EXPECT_EQ(core.startTls(tlsContext(row.trusted), server.host(), server.port(), deadlineAfter(5s)),
                  Transport::Status::Refused);
        EXPECT_EQ(core.errorText(), qtWords);
    }
}

// The reasons Qt worded with its own error texts.
TEST(MailCoreInterop, OtherVerificationFailuresInQtsWords)
{
    const std::pair<int, QSslError::SslError> rows[] = {
        {X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE, QSslError::UnableToDecryptCertificateSignature},
        {X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY, QSslError::UnableToDecodeIssuerPublicKey},
        {X509_V_ERR_CERT_SIGNATURE_FAILURE, QSslError::CertificateSignatureFailed},
        {X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD, QSslError::InvalidNotBeforeField},
        {X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD, QSslError::InvalidNotAfterField},
        {X509_V_ERR_INVALID_CA, QSslError::InvalidCaCertificate},
        {X509_V_ERR_PATH_LENGTH_EXCEEDED, QSslError::PathLengthExceeded},
        {X509_V_ERR_INVALID_PURPOSE, QSslError::InvalidPurpose},
        {X509_V_ERR_OUT_OF_MEM, QSslError::UnspecifiedError},
    };
    for (const auto &[code, error] : rows)
        EXPECT_EQ(certificateFailureReason(code, nullptr), QSslError(error).errorString()) << code;
}
