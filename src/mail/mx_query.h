#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace tramelo::modMXQuery {

// Errors of the lookup, as values: the component turns them into Status lines.
struct MxQueryError {
    QString description;
};

inline const QString noDnsEntriesError = QStringLiteral("No DNS entries found, MX Query cannot contine.");
inline const QString noValidDomainError = QStringLiteral("No Valid Domain Specified");
inline const QString sendProblemError = QStringLiteral("Problem sending MX query");
inline const QString receiveProblemError = QStringLiteral("Problem receiving MX query");

struct MxQueryResult {
    QString exchanger; // the best mail exchanger, or "" when there is none
    std::optional<MxQueryError> error;
};

// How long each name server is given to reply before the next one is asked.
inline constexpr std::chrono::seconds replyWait{5};

// The best mail exchanger of a domain ("" means the machine's own domain).
// Name servers are asked in order until one replies; a domain with no answer
// is asked again one label shorter while it still contains the base domain
// after its first character, so a host inside the machine's own domain
// climbs towards it and stops there.
MxQueryResult queryMailExchanger(const QString &domain);

// What the process has learnt about its resolver, kept until it ends.
struct ResolverState {
    QStringList nameServers;
    QString localDomain;
    QString baseDomain;
    QString currentQueryDomain;
};
const ResolverState &resolverState();

// Fills the resolver state from the resolver configuration file: its name
// servers in order and its domain; without a domain, the host name of the
// first server's address in reverse gives one. Runs by itself on the first
// query and on every query while no name server is known.
void discoverNameServers();

// Where the lookup learns about the resolver and how it reaches the servers.
// Only tests change these, to point the lookup at a server of their own.
struct ResolverSources {
    QString resolverFile = QStringLiteral("/etc/resolv.conf");
    quint16 dnsPort = 53;
    // IPv4 address text to host name, "" when there is none; getnameinfo when empty.
    std::function<QString(const QString &address)> reverseLookup;
};
void setResolverSources(ResolverSources sources);
// Forgets everything discovery found, so that the next query discovers again.
void forgetResolverState();

} // namespace tramelo::modMXQuery
