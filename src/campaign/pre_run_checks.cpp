#include "pre_run_checks.h"

#include "address_validation.h"
#include "body_preparation.h"
#include "campaign.h"
#include "campaign_numbers.h"
#include "campaign_validation.h"
#include "merge_fields.h"
#include "project_paths.h"

namespace tramelo {
namespace {

// The placeholders of subject and body written out, each once.
QStringList placeholdersOf(const Campaign &campaign, bool onlyUnknownFields)
{
    const CampaignSettings &s = campaign.settings();
    const MergeDelimiters delimiters = mergeDelimitersOf(s);
    QStringList placeholders;
    for (const Setting text : {Setting::MessageSubject, Setting::BodyText}) {
        for (const QString &name : placeholderNamesIn(s.text(text), delimiters)) {
            const QString placeholder = placeholderText(name, delimiters);
            if (!placeholders.contains(placeholder) && !(onlyUnknownFields && campaign.fieldList().contains(name)))
                placeholders << placeholder;
        }
    }
    return placeholders;
}

QString listed(const QStringList &placeholders)
{
    return placeholders.join(QStringLiteral(", "));
}

} // namespace

std::optional<QString> refusalBeforeSending(const Campaign &campaign)
{
    const CampaignSettings &s = campaign.settings();
    if (std::optional<QString> failure = validateCampaign(s, projectFolderOf(campaign)))
        return failure;
    // The component would refuse every message, the test send too.
    const QString sender = s.text(Setting::SenderAddress);
    if (!isValidEmailAddress(sender))
        return QStringLiteral("L'adreça de correu del remitent no és vàlida: %1").arg(sender.trimmed());
    if (const QStringList missing = missingBodyImages(campaign); !missing.isEmpty()) {
        return missing.size() == 1
            ? QStringLiteral("El cos del missatge mostra una imatge que no existeix: %1").arg(missing.first())
            : QStringLiteral("El cos del missatge mostra imatges que no existeixen: %1").arg(missing.join(QStringLiteral(", ")));
    }
    return std::nullopt;
}

QStringList unknownPlaceholders(const Campaign &campaign)
{
    if (groupSizeOf(campaign.settings()) != 1)
        return {};
    return placeholdersOf(campaign, true);
}

QString unknownPlaceholdersQuestion(const QStringList &placeholders)
{
    return QStringLiteral("L'origen no té cap camp per a %1: el missatge ho portarà tal com està escrit. Vols continuar?")
        .arg(listed(placeholders));
}

QString unknownPlaceholdersRefusal(const QStringList &placeholders)
{
    return QStringLiteral("L'origen no té cap camp per a %1: el missatge ho portaria tal com està escrit. "
                          "Per enviar-lo igualment, feu servir --accepta-camps-desconeguts.")
        .arg(listed(placeholders));
}

QString unknownPlaceholdersWarning(const QStringList &placeholders)
{
    return QStringLiteral("Avís: l'origen no té cap camp per a %1: el missatge ho portarà tal com està escrit.")
        .arg(listed(placeholders));
}

QStringList unmergedPlaceholders(const Campaign &campaign)
{
    if (groupSizeOf(campaign.settings()) == 1)
        return {};
    return placeholdersOf(campaign, false);
}

QString unmergedPlaceholdersQuestion(const QStringList &placeholders)
{
    return QStringLiteral("Els enviaments agrupats no combinen els camps: tots els destinataris rebran %1 tal com "
                          "està escrit. Vols continuar?")
        .arg(listed(placeholders));
}

QString unmergedPlaceholdersWarning(const QStringList &placeholders)
{
    return QStringLiteral("Avís: els enviaments agrupats no combinen els camps: tots els destinataris rebran %1 tal com "
                          "està escrit.")
        .arg(listed(placeholders));
}

} // namespace tramelo
