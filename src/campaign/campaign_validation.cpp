#include "campaign_validation.h"

#include "campaign_numbers.h"
#include "campaign_settings.h"
#include "plain_text.h"
#include "project_paths.h"

#include <QFileInfo>

namespace tramelo {

namespace {

// A body file that is not there is named, rather than reported as an empty body.
std::optional<QString> missingBodyFile(const CampaignSettings &s, const QString &projectFolder)
{
    const QString source = s.text(Setting::BodySource);
    if (s.bodyKind() != BodyKind::File || isBlank(source) || source.contains(u'\n') || source.contains(u'\r'))
        return std::nullopt;
    const QString path = resolvedAgainst(projectFolder, source);
    if (QFileInfo::exists(path))
        return std::nullopt;
    return path;
}

} // namespace

std::optional<QString> validateCampaign(const CampaignSettings &s, const QString &projectFolder)
{
    const auto blank = [&](Setting setting) { return isBlank(s.text(setting)); };
    const bool needsLogin = s.isChecked(Check::NeedsLogin);
    const bool grouping = s.isChecked(Check::GroupSendings);

    if (blank(Setting::SenderAddress))
        return QStringLiteral("L'Adreça de correu és obligatòria");
    if (blank(Setting::SenderName))
        return QStringLiteral("El nom per mostrar és obligatori");
    if (blank(Setting::SmtpServer))
        return QStringLiteral("El servidor de correu SMTP és obligatori");
    if (needsLogin && blank(Setting::LoginUser))
        return QStringLiteral("L'usuari és obligatori quan cal autentificar-se en el servidor de correu");
    if (needsLogin && blank(Setting::LoginPassword))
        return QStringLiteral("La contrasenya és obligatòria quan cal autentificar-se en el servidor de correu");
    if (grouping && blank(Setting::GroupSize))
        return QStringLiteral("Cal posar un número d'adreces a agrupar");
    // A group below one address never gathers anyone and the run would loop
    // without progress; above 100 every message of the run would be refused.
    if (grouping && !isOneNumber(s.text(Setting::GroupSize)))
        return QStringLiteral("El número d'adreces per grup ha de ser un número");
    if (grouping) {
        const long long size = groupSizeOf(s);
        if (size < 1 || size > maxGroupSize)
            return QStringLiteral("El número d'adreces per grup ha de ser entre 1 i %1").arg(maxGroupSize);
    }
    if (blank(Setting::AddressField))
        return QStringLiteral("Cal definir correctament el camp a utilitzar per l'adreça");
    if (blank(Setting::MessageSubject))
        return QStringLiteral("L'assumpte és obligatori");
    if (blank(Setting::BodyText)) {
        if (const std::optional<QString> missing = missingBodyFile(s, projectFolder))
            return QStringLiteral("No es troba l'arxiu del cos: ") + *missing;
        return QStringLiteral("Es obligatori enviar algun texte en el cos del missatge");
    }
    if (blank(Setting::WaitSeconds))
        return QStringLiteral("Es obligatori posar un temps d'espera entre enviaments");
    if (!isOneNumber(s.text(Setting::WaitSeconds)))
        return QStringLiteral("El temps d'espera entre enviaments ha de ser un número de segons");
    if (waitMillisecondsOf(s) > maxWaitMilliseconds)
        return QStringLiteral("El temps d'espera entre enviaments no pot passar de 86400 segons (un dia)");
    return std::nullopt;
}

} // namespace tramelo
