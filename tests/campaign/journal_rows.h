#pragma once

#include <QFile>
#include <QStringList>

namespace tramelo::test {

// The rows of a send journal after its header, each without its time (the
// first field) and its line end: "1,a@x.cat,S,,250 Ok,<id>".
inline QStringList journalRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("(no journal)")};
    QStringList rows = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1);
    for (QString &row : rows)
        row = row.section(u',', 1);
    return rows;
}

// The same without the Message-ID, which no test can know.
inline QStringList journalRowsWithoutIds(const QString &path)
{
    QStringList rows = journalRows(path);
    for (QString &row : rows)
        row = row.section(u',', 0, -2);
    return rows;
}

} // namespace tramelo::test
