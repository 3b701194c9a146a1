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

// A journal as an earlier run left it: the header, then one row per entry,
// "S", "N" or "D" with its address, or "campanya" with an identifier.
inline void writeJournal(const QString &path, const QList<std::pair<QString, QString>> &entries)
{
    QByteArray bytes = "Data i hora,Fila,Adre\xC3\xA7" "a,Resultat,Etapa,Resposta,Message-ID\r\n";
    for (const auto &[result, value] : entries) {
        bytes += result == QLatin1String("campanya")
            ? "2026-01-01T10:00:00+01:00,,,,campanya," + value.toUtf8() + ",\r\n"
            : "2026-01-01T10:00:00+01:00,1," + value.toUtf8() + ',' + result.toUtf8() + ",dades,421 Ara no,\r\n";
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace tramelo::test
