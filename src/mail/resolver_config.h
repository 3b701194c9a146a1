#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tramelo::modMXQuery {

// What the resolver configuration file says about name servers and the
// machine's DNS domain.
struct ResolverConfig {
    QStringList nameServers; // "nameserver" lines, in file order
    QString domain;          // the "domain" line, else the first "search" entry
};

// Reads resolv.conf syntax: one keyword and its values per line, "#" and ";"
// begin comments. When a keyword repeats, its last line counts, as for the C
// library's resolver.
ResolverConfig parseResolverConfig(const QByteArray &contents);

// The same for a file; a file that cannot be read says nothing.
ResolverConfig readResolverConfig(const QString &path);

// The last two labels of a name joined by ".", or the name itself when it
// has fewer.
QString baseDomainOf(const QString &name);

} // namespace tramelo::modMXQuery
