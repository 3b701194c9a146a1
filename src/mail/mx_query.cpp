#include "mx_query.h"

#include "dns_udp_exchange.h"
#include "mx_message.h"
#include "resolver_config.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tramelo::modMXQuery {
namespace {

// Module-wide, as the lookup keeps its resolver knowledge for the life of the
// process; nothing else in the component holds global state.
ResolverState state;
ResolverSources sources;

QString systemReverseLookup(const QString &address)
{
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &socketAddress.sin_addr) != 1)
        return {};
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr *>(&socketAddress), sizeof socketAddress, host, sizeof host,
                      nullptr, 0, NI_NAMEREQD) != 0)
        return {};
    return QString::fromLatin1(host);
}

QString reverseLookup(const QString &address)
{
    return sources.reverseLookup ? sources.reverseLookup(address) : systemReverseLookup(address);
}

MxQueryResult failure(const QString &description)
{
    return {QString(), MxQueryError{description}};
}

// Asks the name servers in order until one replies. When none does, the last
// failure of a server that was actually asked is the outcome.
std::optional<ReplyBuffer> askNameServers(const QByteArray &datagram, std::optional<MxQueryError> &error)
{
    for (const QString &server : std::as_const(state.nameServers)) {
        const Exchange exchange = exchangeDatagram(server, sources.dnsPort, datagram, replyWait);
        switch (exchange.outcome) {
        case ExchangeOutcome::Replied:
            error.reset();
            return exchange.reply;
        case ExchangeOutcome::NoAddress:
            break;
        case ExchangeOutcome::NoSocket:
            error.reset();
            return std::nullopt;
        case ExchangeOutcome::SendFailed:
            error = MxQueryError{sendProblemError};
            break;
        case ExchangeOutcome::NoReply:
            error = MxQueryError{receiveProblemError};
            break;
        }
    }
    return std::nullopt;
}

// The domain one label up, while the base domain still follows the first
// character; nothing once the climb has reached it.
std::optional<QString> parentTowardsBaseDomain(const QString &domain)
{
    if (state.baseDomain.isEmpty() || domain.indexOf(state.baseDomain, 1, Qt::CaseSensitive) < 1)
        return std::nullopt;
    const qsizetype firstDot = domain.indexOf(QLatin1Char('.'));
    if (firstDot < 0 || firstDot + 1 == domain.size())
        return std::nullopt;
    return domain.mid(firstDot + 1);
}

} // namespace

const ResolverState &resolverState()
{
    return state;
}

void discoverNameServers()
{
    const ResolverConfig config = readResolverConfig(sources.resolverFile);
    state.nameServers = config.nameServers;
    state.localDomain = config.domain;

    QString reverseName;
    if (state.localDomain.isEmpty() && !state.nameServers.isEmpty()) {
        reverseName = reverseLookup(state.nameServers.first());
        const qsizetype firstDot = reverseName.indexOf(QLatin1Char('.'));
        if (firstDot >= 0)
            state.localDomain = reverseName.mid(firstDot + 1);
    }
    state.baseDomain = baseDomainOf(config.domain.isEmpty() ? reverseName : config.domain);
}

MxQueryResult queryMailExchanger(const QString &requestedDomain)
{
    QString domain = requestedDomain;
    for (;;) { // every pass asks for a strictly shorter domain
        if (state.nameServers.isEmpty())
            discoverNameServers();
        if (state.nameServers.isEmpty())
            return failure(noDnsEntriesError);
        if (domain.isEmpty())
            domain = state.localDomain;
        if (domain.size() <= 4)
            return failure(noValidDomainError);
        state.currentQueryDomain = domain;

        std::optional<MxQueryError> error;
        const std::optional<ReplyBuffer> reply = askNameServers(mxQueryDatagram(domain), error);
        if (error)
            return {QString(), error};
        if (!reply)
            return {};
        if (answerCount(*reply) > 0)
            return {bestMailExchanger(*reply), std::nullopt};

        const std::optional<QString> parent = parentTowardsBaseDomain(domain);
        if (!parent)
            return {};
        domain = *parent;
    }
}

void setResolverSources(ResolverSources newSources)
{
    sources = std::move(newSources);
}

void forgetResolverState()
{
    state = ResolverState();
}

} // namespace tramelo::modMXQuery
