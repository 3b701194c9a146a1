#include "mail_texts.h"

#include "pending_errors.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <optional>

namespace tramelo {
namespace {

// Texts that are whole lines.
const QHash<QString, QString> &wholeLines()
{
    static const QHash<QString, QString> lines = {
        {error_text::invalidBcc, QStringLiteral("Hi ha una adreça no vàlida entre els destinataris en còpia oculta")},
        {error_text::invalidCc, QStringLiteral("Hi ha una adreça no vàlida entre els destinataris en còpia")},
        {error_text::invalidRecipient, QStringLiteral("Falta l'adreça del destinatari o no és vàlida")},
        {error_text::invalidSender, QStringLiteral("Falta l'adreça del remitent o no és vàlida")},
        {error_text::invalidPop3Host, QStringLiteral("Falta el nom del servidor POP3 o no és vàlid")},
        {error_text::invalidSmtpHost, QStringLiteral("Falta el nom del servidor SMTP o no és vàlid")},
        {error_text::invalidPort, QStringLiteral("El port del servidor no és vàlid")},
        {error_text::missingAttachment, QStringLiteral("Un dels arxius per adjuntar no existeix")},
        {error_text::socketNotOpen, QStringLiteral("La connexió amb el servidor no és oberta")},
        {error_text::timeout, QStringLiteral("Temps esgotat: el servidor SMTP no ha respost")},
        {error_text::loginFailed, QStringLiteral("El servidor no ha acceptat l'autenticació")},
        {error_text::noLoginInsideTls, QStringLiteral("El servidor SMTP no ofereix cap mecanisme d'autenticació dins de TLS")},
        {error_text::noFinalReply, QStringLiteral("El servidor no ha respost al final del missatge: potser l'ha rebut")},
        {error_text::sendStopped, QStringLiteral("Enviament aturat")},
        {QStringLiteral("Sending HTML requires MIME encoding"), QStringLiteral("Per enviar HTML cal la codificació MIME")},
        {QStringLiteral("No Recipient E-mail Address Specified"), QStringLiteral("No s'ha indicat cap adreça de destinatari")},
        {QStringLiteral("Too many recipients"), QStringLiteral("Massa destinataris en un missatge: com a màxim n'hi pot haver 100")},
        {QStringLiteral("The file could not be read"), QStringLiteral("No s'ha pogut llegir l'arxiu")},
        {QStringLiteral("TLS is not available: Qt found no TLS back end (OpenSSL) on this system"),
         QStringLiteral("TLS no està disponible: Qt no troba cap implementació de TLS (OpenSSL) en aquest sistema")},
        {QStringLiteral("The SMTP Host did not offer STARTTLS, which this connection requires: nothing was sent unencrypted"),
         QStringLiteral("El servidor SMTP no ofereix STARTTLS, que aquesta connexió necessita: no s'ha enviat res sense xifrar")},
        // The socket's texts, ours and Qt's.
        {QStringLiteral("Connection refused"), QStringLiteral("Connexió rebutjada")},
        {QStringLiteral("Connection timed out"), QStringLiteral("S'ha esgotat el temps per connectar")},
        {QStringLiteral("Network unreachable"), QStringLiteral("No s'arriba a la xarxa")},
        {QStringLiteral("Host unreachable"), QStringLiteral("No s'arriba al servidor")},
        {QStringLiteral("The address is not available"), QStringLiteral("L'adreça no està disponible")},
        {QStringLiteral("Permission denied"), QStringLiteral("Permís denegat")},
        {QStringLiteral("Out of resources"), QStringLiteral("No hi ha prou recursos")},
        {QStringLiteral("Unknown error"), QStringLiteral("Error desconegut")},
        {QStringLiteral("Host not found"), QStringLiteral("No s'ha trobat el servidor")},
        {QStringLiteral("The remote host closed the connection"), QStringLiteral("El servidor ha tancat la connexió")},
        {QStringLiteral("Socket operation timed out"), QStringLiteral("S'ha esgotat el temps de l'operació")},
        {QStringLiteral("Network operation timed out"), QStringLiteral("S'ha esgotat el temps de l'operació de xarxa")},
        {QStringLiteral("Connection reset by peer"), QStringLiteral("El servidor ha tallat la connexió")},
        {QStringLiteral("No such file or directory"), QStringLiteral("No existeix l'arxiu o la carpeta")},
    };
    return lines;
}

// Why a certificate is not trusted, one reason at a time.
QString certificateReason(const QString &reason)
{
    static const QRegularExpression issuedFor(QStringLiteral("^it was issued for (.*), not for (.*)$"));
    static const QRegularExpression expired(QStringLiteral("^it expired on (.*)$"));
    static const QRegularExpression notYetValid(QStringLiteral("^it is not valid before (.*)$"));
    if (const QRegularExpressionMatch m = issuedFor.match(reason); m.hasMatch()) {
        const QString names = m.captured(1) == QLatin1String("no name") ? QStringLiteral("cap nom") : m.captured(1);
        return QStringLiteral("es va emetre per a %1, no per a %2").arg(names, m.captured(2));
    }
    if (const QRegularExpressionMatch m = expired.match(reason); m.hasMatch())
        return QStringLiteral("va caducar el %1").arg(m.captured(1));
    if (const QRegularExpressionMatch m = notYetValid.match(reason); m.hasMatch())
        return QStringLiteral("no és vàlid abans del %1").arg(m.captured(1));
    if (reason == QLatin1String("it is self-signed, not issued by a trusted authority"))
        return QStringLiteral("està signat per ell mateix, no per una autoritat de confiança");
    if (reason == QLatin1String("it was issued by an unknown or untrusted authority"))
        return QStringLiteral("l'ha emès una autoritat desconeguda o que no és de confiança");
    if (reason == QLatin1String("it has been revoked"))
        return QStringLiteral("ha estat revocat");
    return reason; // Qt's own words
}

std::optional<QString> certificateFailure(const QString &line)
{
    static const QRegularExpression failure(QStringLiteral(
        "^The certificate of the SMTP Host (.*?) is not trusted: (.*)\\. Certificate subject: (.*); issuer: (.*); "
        "valid from (.*) to (.*); SHA-256 fingerprint: (.*)$"));
    const QRegularExpressionMatch m = failure.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    QStringList reasons = m.captured(2).split(QStringLiteral("; "));
    for (QString &reason : reasons)
        reason = certificateReason(reason);
    return QStringLiteral("El certificat del servidor SMTP %1 no és de confiança: %2. Titular del certificat: %3; "
                          "emissor: %4; vàlid del %5 al %6; empremta SHA-256: %7")
        .arg(m.captured(1), reasons.join(QStringLiteral("; ")), m.captured(3), m.captured(4), m.captured(5),
             m.captured(6), m.captured(7));
}

std::optional<QString> certificatesFileFailure(const QString &line)
{
    static const QString prefix = QStringLiteral("Cannot use the trusted certificates file ");
    if (!line.startsWith(prefix))
        return std::nullopt;
    static const std::pair<QString, QString> reasons[] = {
        {QStringLiteral(": it does not exist or is not a file"), QStringLiteral("no existeix o no és un arxiu")},
        {QStringLiteral(": it is larger than 4 MiB"), QStringLiteral("fa més de 4 MiB")},
        {QStringLiteral(": it holds no PEM certificate"), QStringLiteral("no conté cap certificat PEM")},
    };
    const QString rest = line.mid(prefix.size());
    const auto catalan = [](const QString &path, const QString &reason) {
        return QStringLiteral("No es pot fer servir l'arxiu de certificats de confiança %1: %2").arg(path, reason);
    };
    for (const auto &[english, reason] : reasons) {
        if (rest.endsWith(english))
            return catalan(rest.chopped(english.size()), reason);
    }
    // The file's own error, after the last ": ".
    const qsizetype colon = rest.lastIndexOf(QStringLiteral(": "));
    if (colon < 0)
        return std::nullopt;
    const QString error = rest.mid(colon + 2);
    return catalan(rest.left(colon), wholeLines().value(error, error));
}

// The failures of the TLS handshake: what happened, a hint about the port
// when it was asked for from the first byte, then the socket's own text.
std::optional<QString> handshakeFailure(const QString &line)
{
    static const QString closed = QStringLiteral("The SMTP Host closed the connection during the TLS handshake");
    static const QString failed = QStringLiteral("The TLS handshake with the SMTP Host failed");
    static const QString hint = QStringLiteral(" (on this port the server may expect STARTTLS, or no TLS at all)");
    QString rest;
    QString catalan;
    if (line.startsWith(closed)) {
        rest = line.mid(closed.size());
        catalan = QStringLiteral("El servidor SMTP ha tancat la connexió durant la negociació TLS");
    } else if (line.startsWith(failed)) {
        rest = line.mid(failed.size());
        catalan = QStringLiteral("La negociació TLS amb el servidor SMTP ha fallat");
    } else {
        return std::nullopt;
    }
    if (rest.startsWith(hint)) {
        rest = rest.mid(hint.size());
        catalan += QStringLiteral(" (en aquest port potser el servidor espera STARTTLS, o gens de TLS)");
    }
    if (rest.isEmpty())
        return catalan;
    if (!rest.startsWith(QStringLiteral(": ")))
        return std::nullopt;
    const QString error = rest.mid(2);
    return catalan + QStringLiteral(": ") + wholeLines().value(error, error);
}

QString lineInCatalan(const QString &line)
{
    if (const auto found = wholeLines().constFind(line); found != wholeLines().constEnd())
        return *found;
    if (line.startsWith(error_text::unexpectedReply))
        return QStringLiteral("Resposta inesperada del servidor SMTP: ") + line.mid(error_text::unexpectedReply.size());
    for (const auto translate : {certificateFailure, certificatesFileFailure, handshakeFailure}) {
        if (std::optional<QString> catalan = translate(line))
            return *catalan;
    }
    return line;
}

} // namespace

QString inCatalan(const QString &componentText)
{
    // The line ends stay where they were: the callers put the lines on one
    // line, or show them one below the other.
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QString catalan;
    qsizetype from = 0;
    for (QRegularExpressionMatchIterator ends = lineEnd.globalMatch(componentText); ends.hasNext();) {
        const QRegularExpressionMatch end = ends.next();
        catalan += lineInCatalan(componentText.mid(from, end.capturedStart() - from)) + end.captured();
        from = end.capturedEnd();
    }
    return catalan + lineInCatalan(componentText.mid(from));
}

} // namespace tramelo
