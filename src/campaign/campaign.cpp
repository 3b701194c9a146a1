#include "campaign.h"

#include "recipient_connection.h"
#include "recipient_grid.h"

namespace tramelo {

Campaign::Campaign(CampaignView &view, RecipientRows rows, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_recipientRows(rows)
    , m_connection(std::make_unique<RecipientConnection>())
    , m_grid(std::make_unique<RecipientGrid>())
{
    // Any text the operator (or the program) changes is an unsaved change,
    // and so is the security chosen from its list, as a list's text is.
    connect(&m_settings, &CampaignSettings::textChanged, this, [this] { setDirty(true); });
    connect(&m_settings, &CampaignSettings::securityChanged, this, [this] { setDirty(true); });
}

Campaign::~Campaign() = default;

void Campaign::replaceConnection()
{
    m_connection = std::make_unique<RecipientConnection>();
}

void Campaign::setProjectPath(const QString &path)
{
    if (path == m_projectPath)
        return;
    m_projectPath = path;
    Q_EMIT projectPathChanged(path);
}

void Campaign::setDirty(bool dirty)
{
    if (dirty == m_dirty)
        return;
    m_dirty = dirty;
    Q_EMIT dirtyChanged(dirty);
}

void Campaign::setTableList(const QStringList &items)
{
    m_tableList = items;
    Q_EMIT tableListChanged();
}

void Campaign::setFieldList(const QStringList &items)
{
    m_fieldList = items;
    Q_EMIT fieldListChanged();
}

} // namespace tramelo
