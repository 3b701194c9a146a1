#pragma once

#include <QFile>
#include <QStringList>

namespace tramelo::test {

// The rows of a send journal after its header, but for those that name its
// campaign, without their time (the first field), and without the
// Message-ID (the last) unless asked for: "1,a@x.cat,S,,250 Ok".
inline QStringList journalRows(const QString &path, bool withIds = false)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("(no journal)")};
    QStringList rows = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1);
    rows.removeIf([](const QString &row) { return row.section(u',', 4, 4) == QLatin1String("campanya"); });
    for (QString &row : rows)
        row = row.section(u',', 1, withIds ? -1 : -2);
    return rows;
}

} // namespace tramelo::test
