#pragma once

#include "campaign_settings.h"
#include "transport_security.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tramelo {

// The list's items, in the order of the enumeration: "Automàtica", "Cap",
// "STARTTLS", "SSL/TLS".
QStringList connectionSecurityItems();

// The word a project file keeps for the choice ("automatica", "cap",
// "starttls", "ssl"), and back; nothing for a word it does not know.
QByteArray connectionSecurityWord(ConnectionSecurity security);
std::optional<ConnectionSecurity> connectionSecurityOfWord(const QByteArray &word);

// What the mail component is told to do for a choice and the port of the
// SMTP server.
SecurityMode securityModeFor(ConnectionSecurity security, quint16 port);
// The same for the campaign's SMTP server as typed (the port after ":").
SecurityMode campaignSecurityMode(const CampaignSettings &settings);

// Whether the campaign's login password would travel unencrypted to an SMTP
// server that is not this machine (127.0.0.0/8, ::1 or "localhost").
bool passwordTravelsUnencrypted(const CampaignSettings &settings);

// The window's question before a test send or a run when it would.
inline const QString unencryptedPasswordQuestion =
    QStringLiteral("La contrasenya viatjarà sense xifrar fins al servidor SMTP. Vols continuar?");

} // namespace tramelo
