#pragma once

#include "mx_query.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// Points the MX lookup at a resolver file of the test's own, with a reverse
// lookup that never reaches the system resolver, and forgets what earlier
// lookups discovered. When it goes, the lookup is left pointing at a file
// that does not exist, so that nothing can fall back to the machine's own
// name servers.
class TestResolver
{
public:
    explicit TestResolver(const QByteArray &contents, quint16 dnsPort = 53,
                          const QString &reverseName = QString())
    {
        const QString path = m_dir.path() + QStringLiteral("/resolv.conf");
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(contents);
        file.close();
        tramelo::modMXQuery::ResolverSources sources;
        sources.resolverFile = path;
        sources.dnsPort = dnsPort;
        sources.reverseLookup = [this, reverseName](const QString &address) {
            m_reverseLookups.append(address);
            return reverseName;
        };
        tramelo::modMXQuery::setResolverSources(sources);
        tramelo::modMXQuery::forgetResolverState();
    }

    ~TestResolver()
    {
        tramelo::modMXQuery::ResolverSources nowhere;
        nowhere.resolverFile = QStringLiteral("/nonexistent/tramelo-test/resolv.conf");
        nowhere.dnsPort = 9; // discard; never reached without a name server anyway
        nowhere.reverseLookup = [](const QString &) { return QString(); };
        tramelo::modMXQuery::setResolverSources(nowhere);
        tramelo::modMXQuery::forgetResolverState();
    }

    TestResolver(const TestResolver &) = delete;
    TestResolver &operator=(const TestResolver &) = delete;

    QStringList reverseLookups() const { return m_reverseLookups; }

private:
    QTemporaryDir m_dir;
    QStringList m_reverseLookups;
};
