#include "pending_errors.h"

#include "plain_text.h"

namespace tramelo {

void PendingErrorList::add(const QString &text)
{
    if (!m_entries.contains(text, Qt::CaseInsensitive))
        m_entries.append(text);
}

void PendingErrorList::remove(const QString &text)
{
    m_entries.removeIf([&](const QString &entry) { return entry.compare(text, Qt::CaseInsensitive) == 0; });
}

QString PendingErrorList::explanation() const
{
    QString text;
    for (const QString &entry : m_entries)
        text += entry + crlf;
    return text;
}

} // namespace tramelo
