#pragma once

#include "campaign_settings.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace tramelo {

class CampaignView;
class RecipientConnection;
class RecipientGrid;

// What a campaign keeps of its recipients: the cells of every row, for a
// window whose grid shows them, or only the rows' marks, the rows being read
// from the source again, one at a time, whenever they are walked (the
// headless runner, whose memory then does not grow with their text).
enum class RecipientRows { Cells, MarksOnly };

// Everything the main window owns for its whole life, without the widgets:
// the settings record, the two lists of the recipient frame, the one
// recipient connection, the recipient grid with its sent marks, the current
// project path and the window's flags. The window is a view over it; the
// headless runner and the tests use it directly.
class Campaign : public QObject
{
    Q_OBJECT
public:
    explicit Campaign(CampaignView &view, RecipientRows rows = RecipientRows::Cells, QObject *parent = nullptr);
    ~Campaign() override;

    CampaignView &view() { return m_view; }
    CampaignSettings &settings() { return m_settings; }
    const CampaignSettings &settings() const { return m_settings; }

    // The one recipient connection; replaceConnection() drops the old one
    // (which closes it) and starts an unopened one.
    RecipientConnection &connection() { return *m_connection; }
    void replaceConnection();

    RecipientGrid &grid() { return *m_grid; }
    const RecipientGrid &grid() const { return *m_grid; }
    RecipientRows recipientRows() const { return m_recipientRows; }

    // Items of the table list (comboFields(0)) and the address field list
    // (comboFields(1)); their texts are the settings TableName and AddressField.
    QStringList tableList() const { return m_tableList; }
    void setTableList(const QStringList &items);
    QStringList fieldList() const { return m_fieldList; }
    void setFieldList(const QStringList &items);

    QString projectPath() const { return m_projectPath; }
    void setProjectPath(const QString &path);

    // What tells this campaign from any other, kept in its project file and
    // in its send journal (campaign_identity.h); empty for a campaign never
    // saved, or saved before campaigns had one.
    QString campaignId() const { return m_campaignId; }
    void setCampaignId(const QString &id) { m_campaignId = id; }

    bool isDirty() const { return m_dirty; }
    void setDirty(bool dirty);

    bool isRunning() const { return m_running; }
    void setRunning(bool running) { m_running = running; }
    bool stopRequested() const { return m_stopRequested; }
    void setStopRequested(bool requested) { m_stopRequested = requested; }

Q_SIGNALS:
    void tableListChanged();
    void fieldListChanged();
    // Only on a change, for a title that shows the project and its state.
    void projectPathChanged(const QString &path);
    void dirtyChanged(bool dirty);

private:
    CampaignView &m_view;
    RecipientRows m_recipientRows;
    CampaignSettings m_settings;
    std::unique_ptr<RecipientConnection> m_connection;
    std::unique_ptr<RecipientGrid> m_grid;
    QStringList m_tableList;
    QStringList m_fieldList;
    QString m_projectPath;
    QString m_campaignId;
    bool m_dirty = false;
    bool m_running = false;
    bool m_stopRequested = false;
};

} // namespace tramelo
