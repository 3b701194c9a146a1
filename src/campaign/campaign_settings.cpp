#include "campaign_settings.h"

namespace tramelo {

CampaignSettings::CampaignSettings(QObject *parent)
    : QObject(parent)
{
}

void CampaignSettings::setText(Setting setting, const QString &value)
{
    QString &current = m_texts[std::size_t(setting)];
    if (current == value)
        return;
    current = value;
    Q_EMIT textChanged(setting);
}

void CampaignSettings::setCheckValue(Check check, int value)
{
    int &current = m_checks[std::size_t(check)];
    if (current == value)
        return;
    current = value;
    Q_EMIT checkChanged(check);
}

void CampaignSettings::setSourceKind(SourceKind kind)
{
    if (m_sourceKind == kind)
        return;
    m_sourceKind = kind;
    Q_EMIT sourceKindChanged(kind);
}

void CampaignSettings::setBodyKind(BodyKind kind)
{
    if (m_bodyKind == kind)
        return;
    m_bodyKind = kind;
    Q_EMIT bodyKindChanged(kind);
}

void CampaignSettings::setSecurity(ConnectionSecurity security)
{
    if (m_security == security)
        return;
    m_security = security;
    Q_EMIT securityChanged(security);
}

void CampaignSettings::applyStartDefaults()
{
    setText(Setting::WaitSeconds, QStringLiteral("0"));
    setText(Setting::FieldDelimiterLeft, QStringLiteral("<<<"));
    setText(Setting::FieldDelimiterRight, QStringLiteral(">>>"));
    setText(Setting::GroupSize, QStringLiteral("20"));
}

} // namespace tramelo
