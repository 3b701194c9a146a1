#pragma once

#include <QString>
#include <QStringList>

namespace tramelo {

// The component's ordered list of unique message texts. A text is its own key:
// adding one already present (compared without regard to case) changes nothing.
class PendingErrorList
{
public:
    void add(const QString &text);
    void remove(const QString &text);
    bool isEmpty() const { return m_entries.isEmpty(); }
    const QStringList &entries() const { return m_entries; }
    // Every entry followed by CR LF, in list order.
    QString explanation() const;
    void clear() { m_entries.clear(); }

private:
    QStringList m_entries;
};

} // namespace tramelo
