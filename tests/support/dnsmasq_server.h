#pragma once

#include "test_support.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tramelo::test {

// A real DNS server for one test: dnsmasq on 127.0.0.1 at a free UDP port,
// with no upstream servers and no hosts file, answering only from the MX
// records it is given. Names under the local zones that have no record get
// "no such name" from it; anything else is refused, never forwarded.
class DnsmasqServer
{
public:
    struct MxRecord {
        QString domain;
        QString exchanger;
        int preference = 1;
    };

    static QString program() { return QStringLiteral("/usr/sbin/dnsmasq"); }

    bool start(const QList<MxRecord> &records, const QStringList &localZones);
    void stop() { m_process.stop(); }
    quint16 port() const { return m_port; }

    // Resolver configuration naming this server, with a "domain" line.
    QByteArray resolverFileContents(const QString &domain) const;

    // The names of the MX queries it has logged so far, in order.
    QStringList mxQueries();

    QByteArray output() const { return m_process.output(); }

private:
    bool startOnPort(const QStringList &arguments, quint16 port);

    TestProcess m_process;
    quint16 m_port = 0;
};

} // namespace tramelo::test
