#include "send_one_message.h"

#include "campaign_view.h"
#include "clsEnviarCorreu.h"
#include "internet_connection.h"
#include "plain_text.h"
#include "run_settings.h"

#include <optional>

namespace tramelo {
namespace {

constexpr quint16 defaultSmtpPort = 25;

std::optional<quint16> portOf(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < 1 || value > 65535)
        return std::nullopt;
    return quint16(value);
}

bool isBracketed(QStringView text)
{
    return text.size() > 2 && text.startsWith(u'[') && text.endsWith(u']');
}

// The host in front of a port: a name or IPv4 address, or an IPv6 address in
// brackets. An unbracketed text with a colon is an IPv6 address whose last
// group only looks like a port.
std::optional<QString> hostBeforePort(QStringView host)
{
    if (isBracketed(host))
        return host.sliced(1, host.size() - 2).toString();
    if (host.isEmpty() || host.contains(u':') || host.startsWith(u'['))
        return std::nullopt;
    return host.toString();
}

void assignMessage(clsEnviarCorreu &mail, const RunSettings &settings, const OutgoingMessage &message)
{
    mail.setSMTPHostValidation(0);
    mail.setEmailAddressValidation(1);
    mail.setDelimiter(QStringLiteral(";"));
    mail.setSMTPHost(settings.server.host);
    mail.setSMTPPort(settings.server.port);
    mail.setFrom(settings.senderAddress);
    mail.setFromDisplayName(settings.senderName);
    mail.setRecipient(message.to);
    mail.setRecipientDisplayName(message.to);
    mail.setCcRecipient(QString());
    mail.setCcDisplayName(QString());
    mail.setBccRecipient(message.bcc);
    mail.setReplyToAddress(settings.senderAddress);
    mail.setSubject(message.subject);
    mail.setMessage(message.body);
    mail.setAttachment(message.attachments);
    mail.setAsHTML(true);
    mail.setContentBase(QString());
    mail.setEncodeType(0);
    mail.setPriority(3);
    mail.setReceipt(false);
    mail.setUseAuthentication(settings.needsLogin);
    mail.setUsePopAuthentication(false);
    mail.setUserName(settings.loginUser);
    mail.setPassword(settings.loginPassword);
    mail.setPOP3Host(QString());
    mail.setSecurity(settings.security);
    mail.setTrustedCertificatesFile(settings.trustedCertificatesFile);
}

} // namespace

SmtpEndpoint splitSmtpServer(const QString &smtpServer)
{
    const QString text = trimBlanks(smtpServer);
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon >= 0) {
        const std::optional<quint16> port = portOf(QStringView(text).sliced(colon + 1));
        const std::optional<QString> host = hostBeforePort(QStringView(text).first(colon));
        if (port && host)
            return {*host, *port};
    }
    if (isBracketed(text))
        return {text.sliced(1, text.size() - 2), defaultSmtpPort};
    return {text, defaultSmtpPort};
}

SendOutcome SendOneMessage(CampaignView &view, const RunSettings &settings, clsEnviarCorreu &poSendMail,
                           InternetConnection &connection, const OutgoingMessage &message)
{
    const SmtpEndpoint &server = settings.server;

    const ConnectedState before = connection.connectedState(server.host);
    const bool wasConnected = before.result != 0;
    quint32 dialled = 0;
    if (!wasConnected && !(before.flags & connectedThroughLan))
        dialled = connection.dial();

    // A failed dial is not reported by itself: only this second answer counts.
    const ConnectedState now = connection.connectedState(server.host);
    if (now.result != 1) {
        const QString offLine = QStringLiteral("No hi ha connexio a Internet");
        view.showMessage(offLine, MessageIcon::Error);
        SendOutcome outcome;
        outcome.stage = SendStage::Connection;
        outcome.reply = offLine;
        return outcome;
    }

    assignMessage(poSendMail, settings, message);
    poSendMail.Send();

    if (!wasConnected && !(now.flags & connectedThroughLan))
        connection.hangUp(dialled);
    return poSendMail.sendOutcome();
}

} // namespace tramelo
