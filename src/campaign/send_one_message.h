#pragma once

#include "send_outcome.h"

#include <QString>

namespace tramelo {

class CampaignView;
class InternetConnection;
struct RunSettings;
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

// Sends one message of a test send or run through poSendMail: makes sure the
// machine is on line (dialling when there is neither a connection nor a LAN),
// hands the message and the run's settings to the component, calls Send, and
// hangs up a line it dialled itself. Returns what the component's Send came
// to; without a connection it says "No hi ha connexio a Internet", sends
// nothing and returns a connection failure with that text.
SendOutcome SendOneMessage(CampaignView &view, const RunSettings &settings, clsEnviarCorreu &poSendMail,
                           InternetConnection &connection, const OutgoingMessage &message);

} // namespace tramelo
