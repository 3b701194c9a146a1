#include "dnsmasq_server.h"

#include <QRegularExpression>

namespace tramelo::test {

bool DnsmasqServer::start(const QList<MxRecord> &records, const QStringList &localZones)
{
    QStringList arguments = {
        QStringLiteral("--no-daemon"),        QStringLiteral("--conf-file=/dev/null"),
        QStringLiteral("--no-resolv"),        QStringLiteral("--no-hosts"),
        QStringLiteral("--listen-address=127.0.0.1"),
        QStringLiteral("--bind-interfaces"),  QStringLiteral("--log-queries"),
        QStringLiteral("--log-facility=-"),
    };
    for (const MxRecord &record : records)
        arguments << QStringLiteral("--mx-host=%1,%2,%3").arg(record.domain, record.exchanger).arg(record.preference);
    for (const QString &zone : localZones)
        arguments << QStringLiteral("--local=/%1/").arg(zone);

    // The free port may be taken between the probe and dnsmasq's bind.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const quint16 port = freeUdpPort();
        if (port != 0 && startOnPort(arguments, port)) {
            m_port = port;
            return true;
        }
    }
    return false;
}

bool DnsmasqServer::startOnPort(const QStringList &arguments, quint16 port)
{
    m_process.stop();
    if (!m_process.start(program(), QStringList(arguments) << QStringLiteral("--port=%1").arg(port)))
        return false;
    return m_process.waitForOutput("started, version", std::chrono::seconds(10));
}

QByteArray DnsmasqServer::resolverFileContents(const QString &domain) const
{
    return "nameserver 127.0.0.1\ndomain " + domain.toLatin1() + '\n';
}

QStringList DnsmasqServer::mxQueries()
{
    // It logs a query before answering it, so what a finished lookup asked
    // is in the pipe already: read until nothing more comes.
    for (int read = 0; read < 20 && m_process.process().waitForReadyRead(50); ++read) {
    }
    static const QRegularExpression query(QStringLiteral("query\\[MX\\] (\\S+) from"));
    QStringList names;
    for (auto match = query.globalMatch(QString::fromLatin1(m_process.readOutput())); match.hasNext();)
        names << match.next().captured(1);
    return names;
}

} // namespace tramelo::test
