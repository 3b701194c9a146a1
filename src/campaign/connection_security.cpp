#include "connection_security.h"

#include "campaign_settings.h"
#include "send_one_message.h"

#include <QHostAddress>

#include <array>

namespace tramelo {
namespace {

struct SecurityChoice {
    ConnectionSecurity security;
    const char16_t *item;
    const char *word;
};

constexpr std::array<SecurityChoice, 4> choices = {{
    {ConnectionSecurity::Automatic, u"Automàtica", "automatica"},
    {ConnectionSecurity::None, u"Cap", "cap"},
    {ConnectionSecurity::StartTls, u"STARTTLS", "starttls"},
    {ConnectionSecurity::SslTls, u"SSL/TLS", "ssl"},
}};

constexpr quint16 implicitTlsPort = 465;
constexpr quint16 submissionPort = 587;

bool isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

QStringList connectionSecurityItems()
{
    QStringList items;
    for (const SecurityChoice &choice : choices)
        items << QString::fromUtf16(choice.item);
    return items;
}

QByteArray connectionSecurityWord(ConnectionSecurity security)
{
    return choices[std::size_t(security)].word;
}

std::optional<ConnectionSecurity> connectionSecurityOfWord(const QByteArray &word)
{
    for (const SecurityChoice &choice : choices) {
        if (word == choice.word)
            return choice.security;
    }
    return std::nullopt;
}

SecurityMode securityModeFor(ConnectionSecurity security, quint16 port)
{
    switch (security) {
    case ConnectionSecurity::None:
        return SecurityMode::None;
    case ConnectionSecurity::StartTls:
        return SecurityMode::StartTls;
    case ConnectionSecurity::SslTls:
        return SecurityMode::ImplicitTls;
    case ConnectionSecurity::Automatic:
        break;
    }
    if (port == implicitTlsPort)
        return SecurityMode::ImplicitTls;
    if (port == submissionPort)
        return SecurityMode::StartTls;
    return SecurityMode::None;
}

SecurityMode campaignSecurityMode(const CampaignSettings &settings)
{
    return securityModeFor(settings.security(), splitSmtpServer(settings.text(Setting::SmtpServer)).port);
}

bool passwordTravelsUnencrypted(const CampaignSettings &settings)
{
    return settings.isChecked(Check::NeedsLogin) && campaignSecurityMode(settings) == SecurityMode::None
        && !isLoopback(splitSmtpServer(settings.text(Setting::SmtpServer)).host);
}

} // namespace tramelo
