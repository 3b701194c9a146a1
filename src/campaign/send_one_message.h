#pragma once

#include "send_outcome.h"

#include <QString>

#include <optional>

namespace tramelo {

class Campaign;
class CampaignSettings;
class InternetConnection;
class clsEnviarCorreu;

// Where SmtpServer points: the setting may end with ":" and a port from 1 to
// 65535 (an IPv6 address then in brackets, "[::1]:2525"). Without a valid
// port suffix the whole text, trimmed of spaces, is the host and the port is
// 25; brackets around an IPv6 address are removed either way.
struct SmtpEndpoint {
    QString host;
    quint16 port = 25;
    friend bool operator==(const SmtpEndpoint &, const SmtpEndpoint &) = default;
};
SmtpEndpoint splitSmtpServer(const QString &smtpServer);

struct OutgoingMessage {
    QString to;
    QString bcc;
    QString subject;
    QString body;
    QString attachments;
};

// The SMTP session the messages of a run share, through the component's
// keep-connection mode: opened (Connect) by the first message once the
// component has its settings, opened again when the server, its security or
// the login changed in the settings since, and closed with QUIT (Disconnect)
// by end(). The component itself reopens a session the server closed.
class KeptSession
{
public:
    void use(clsEnviarCorreu &poSendMail, const CampaignSettings &settings, const SmtpEndpoint &server);
    void end(clsEnviarCorreu &poSendMail);

private:
    struct Key {
        SmtpEndpoint server;
        int security = 0;
        QString certificates;
        bool login = false;
        QString user;
        QString password;
        friend bool operator==(const Key &, const Key &) = default;
    };
    std::optional<Key> m_key;
};

// Sends one message of a test send or run through poSendMail: makes sure the
// machine is on line (dialling when there is neither a connection nor a LAN),
// hands the message and the live settings to the component, calls Send, and
// hangs up a line it dialled itself. Returns what the component's Send came
// to; without a connection it says "No hi ha connexio a Internet", sends
// nothing and returns a connection failure with that text. With a kept
// session the message goes through it; without, through a session of its own.
SendOutcome SendOneMessage(Campaign &campaign, clsEnviarCorreu &poSendMail, InternetConnection &connection,
                    const OutgoingMessage &message, KeptSession *session = nullptr);

} // namespace tramelo
