#include "resolver_config.h"

#include <QFile>

namespace tramelo::modMXQuery {
namespace {

QList<QByteArray> wordsOf(QByteArray line)
{
    const qsizetype comment = line.indexOf('#');
    if (comment >= 0)
        line.truncate(comment);
    const qsizetype otherComment = line.indexOf(';');
    if (otherComment >= 0)
        line.truncate(otherComment);
    return line.simplified().split(' ');
}

} // namespace

ResolverConfig parseResolverConfig(const QByteArray &contents)
{
    ResolverConfig config;
    QString domainLine;
    QString firstSearchEntry;
    for (const QByteArray &line : contents.split('\n')) {
        const QList<QByteArray> words = wordsOf(line);
        if (words.size() < 2)
            continue;
        const QString value = QString::fromLatin1(words[1]);
        if (words[0] == "nameserver")
            config.nameServers.append(value);
        else if (words[0] == "domain")
            domainLine = value;
        else if (words[0] == "search")
            firstSearchEntry = value;
    }
    config.domain = domainLine.isEmpty() ? firstSearchEntry : domainLine;
    return config;
}

ResolverConfig readResolverConfig(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseResolverConfig(file.readAll());
}

QString baseDomainOf(const QString &name)
{
    const QStringList labels = name.split(QLatin1Char('.'));
    if (labels.size() < 2)
        return name;
    return labels[labels.size() - 2] + QLatin1Char('.') + labels.last();
}

} // namespace tramelo::modMXQuery
