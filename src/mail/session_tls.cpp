// The session's TLS: the trust and the resumable session given to the socket
// before it connects, STARTTLS, and what the socket says of the handshake.
// A session that asked for TLS and cannot have it ends there: nothing more
// is sent, least of all the login or the message.
#include "clsEnviarCorreu.h"

#include <QSslSocket>

namespace tramelo {

bool clsEnviarCorreu::prepareTls()
{
    if (!QSslSocket::supportsSsl()) {
        AddError(QStringLiteral("TLS is not available: Qt found no TLS back end (OpenSSL) on this system"));
        ReportFailure();
        return false;
    }
    if (!m_tlsTrust || m_tlsTrust->certificatesFile != m_TrustedCertificatesFile) {
        const TrustedCertificatesReading trusted = readTrustedCertificates(m_TrustedCertificatesFile);
        if (!trusted.failure.isEmpty()) {
            AddError(trusted.failure);
            ReportFailure();
            return false;
        }
        m_tlsTrust = TlsTrust{m_TrustedCertificatesFile, clientTlsConfiguration(trusted.certificates)};
        // A session verified under another trust is not resumed under this one.
        m_tlsResumption = {};
    }
    QSslConfiguration configuration = m_tlsTrust->configuration;
    if (m_tlsResumption.host == m_remoteHost && m_tlsResumption.port == m_remotePort)
        configuration.setSessionTicket(m_tlsResumption.ticket);
    m_socket->setSslConfiguration(configuration);
    // The name the operator typed is the one the certificate must carry (an
    // address is checked against the certificate's addresses).
    m_socket->setPeerVerifyName(m_remoteHost);
    return true;
}

bool clsEnviarCorreu::startTls()
{
    // A server that does not offer it may be one whose offer was removed on
    // the way: the session does not go on in the clear.
    if (!m_flags.startTlsOffered) {
        AddError(QStringLiteral("The SMTP Host did not offer STARTTLS, which this connection requires: "
                                "nothing was sent unencrypted"));
        ReportFailure();
        return false;
    }
    Q_EMIT Status(QStringLiteral("Starting TLS..."));
    m_dialogue = Dialogue::StartTls;
    m_flags.reply = false;
    sendCommand(QStringLiteral("STARTTLS"));
    if (!WaitForReply(&SessionFlags::reply, m_ConnectTimeout, true) || m_flags.abort)
        return false;

    dropUnreadInput();
    m_flags.encrypted = false;
    m_socket->startClientEncryption();
    if (!WaitForReply(&SessionFlags::encrypted, m_ConnectTimeout, true) || m_flags.abort)
        return false;
    m_dialogue = Dialogue::Smtp;
    // RFC 3207: what the server said before TLS is forgotten and asked again.
    forgetExtensions();
    return sayHello();
}

void clsEnviarCorreu::dropUnreadInput()
{
    m_replies.clear();
    m_socket->skip(m_socket->bytesAvailable());
}

bool clsEnviarCorreu::handshaking() const
{
    return m_socket->mode() != QSslSocket::UnencryptedMode && !m_socket->isEncrypted();
}

void clsEnviarCorreu::onSslErrors(const QList<QSslError> &errors)
{
    // The socket then fails the handshake (errorOccurred), which reports this.
    m_certificateFailure = certificateFailureText(errors, m_socket->peerCertificate(), m_remoteHost);
}

void clsEnviarCorreu::onSocketEncrypted()
{
    m_flags.encrypted = true;
}

void clsEnviarCorreu::onNewSessionTicket()
{
    m_tlsResumption = {m_remoteHost, m_remotePort, m_socket->sslConfiguration().sessionTicket()};
}

QString clsEnviarCorreu::handshakeFailureText(QAbstractSocket::SocketError error) const
{
    if (!m_certificateFailure.isEmpty())
        return m_certificateFailure;
    const QString expected = m_Security == SecurityMode::ImplicitTls
        ? QStringLiteral(" (on this port the server may expect STARTTLS, or no TLS at all)")
        : QString();
    if (error == QAbstractSocket::RemoteHostClosedError)
        return QStringLiteral("The SMTP Host closed the connection during the TLS handshake") + expected;
    return QStringLiteral("The TLS handshake with the SMTP Host failed") + expected + QStringLiteral(": ")
        + m_socket->errorString();
}

} // namespace tramelo
