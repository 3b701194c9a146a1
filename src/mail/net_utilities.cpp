#include "net_utilities.h"

#include "address_validation.h"
#include "plain_text.h"
#include "windows1252.h"

#include <QList>
#include <QRandomGenerator>

namespace tramelo {
namespace {

// The echoed data area of a reply: a zero-filled 250-byte buffer.
constexpr qsizetype replyDataAreaSize = 250;

QByteArray makeRequestData()
{
    QByteArray data(pingDataSize, '\0');
    QRandomGenerator *random = QRandomGenerator::global();
    for (char &byte : data)
        byte = char(random->bounded(1, 256));
    return data;
}

void judgeEchoedData(const QByteArray &echoed, const QByteArray &request, bool &dataMatch)
{
    QByteArray area = echoed.left(replyDataAreaSize);
    area.append(replyDataAreaSize - area.size(), '\0');
    const qsizetype nul = area.indexOf('\0');
    if (nul < 1)
        return;
    dataMatch = fromWindows1252(area.left(nul)).compare(fromWindows1252(request), Qt::CaseInsensitive) == 0;
}

} // namespace

QString getIPHost(HostServices &services)
{
    return services.localHostName();
}

QString getIPAddress(HostServices &services, QString &hostName)
{
    QString name = hostName;
    if (name.isEmpty())
        name = getIPHost(services);
    name = trimBlanks(name);
    hostName = name;
    const std::optional<IPv4Address> address = services.resolveIPv4(name);
    return address ? address->toString() : QString();
}

std::optional<IPv4Address> literalAddressBytes(QStringView text)
{
    const QList<QStringView> parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    IPv4Address address;
    for (int i = 0; i < 4; ++i) {
        const std::optional<long long> value = readWholeNumber(parts[i]);
        if (!value || *value < 0 || *value > 255)
            return std::nullopt;
        address.bytes[size_t(i)] = quint8(*value);
    }
    return address;
}

bool ping(HostServices &services, QString &address, QString &roundTripTime, QString &dataSize, bool &dataMatch)
{
    const QString target = isIPv4Literal(address) ? address : getIPAddress(services, address);
    if (target.isEmpty())
        return false;
    const std::optional<IPv4Address> targetAddress = literalAddressBytes(target);
    if (!targetAddress)
        return false;
    const QByteArray request = makeRequestData();
    const EchoReply reply = services.echo(*targetAddress, request, pingTimeout);
    roundTripTime = QString::number(reply.roundTripMs);
    address = reply.replyAddress.toString();
    dataSize = QString::number(reply.data.size()) + QLatin1String(" bytes");
    judgeEchoedData(reply.data, request, dataMatch);
    return reply.status == echo_status::success && reply.replyAddress == *targetAddress;
}

} // namespace tramelo
