#include "net_utilities.h"

#include "gtest_qt_printers.h"

#include "fake_host_services.h"
#include "host_services.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <unistd.h>

#include <gtest/gtest.h>

using namespace tramelo;
using tramelo::test::FakeHostServices;
using tramelo::test::ipv4;

namespace {

// The local host name and its IPv4 address, when the name is answered from
// /etc/hosts before any name server is asked (the configured name server is
// not on loopback and must never be queried by a test).
struct LocalHostEntry {
    QString name;
    QString address;
};

std::optional<LocalHostEntry> localHostInEtcHosts()
{
    char buffer[257] = {};
    if (::gethostname(buffer, 256) != 0 || buffer[0] == '\0')
        return std::nullopt;
    const QString name = QString::fromLocal8Bit(buffer);

    QFile nsswitch(QStringLiteral("/etc/nsswitch.conf"));
    if (nsswitch.open(QIODevice::ReadOnly)) {
        for (const QByteArray &raw : nsswitch.readAll().split('\n')) {
            const QString line = QString::fromLatin1(raw).simplified();
            if (!line.startsWith(QLatin1String("hosts:")))
                continue;
            const QStringList sources = line.mid(6).split(u' ', Qt::SkipEmptyParts);
            if (sources.isEmpty() || sources.first() != QLatin1String("files"))
                return std::nullopt;
        }
    }
    QFile hosts(QStringLiteral("/etc/hosts"));
    if (!hosts.open(QIODevice::ReadOnly))
        return std::nullopt;
    static const QRegularExpression ipv4Text(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"));
    for (const QByteArray &raw : hosts.readAll().split('\n')) {
        QString line = QString::fromLatin1(raw);
        line = line.left(line.indexOf(u'#') < 0 ? line.size() : line.indexOf(u'#'));
        const QStringList fields = line.simplified().split(u' ', Qt::SkipEmptyParts);
        if (fields.size() < 2 || !ipv4Text.match(fields[0]).hasMatch())
            continue;
        for (qsizetype i = 1; i < fields.size(); ++i) {
            if (fields[i].compare(name, Qt::CaseInsensitive) == 0)
                return LocalHostEntry{name, fields[0]};
        }
    }
    return std::nullopt;
}

bool isDotted(const QString &text)
{
    static const QRegularExpression dotted(QStringLiteral("^\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"));
    return dotted.match(text).hasMatch();
}

} // namespace

// ---- GetIPHost and GetIPAddress over the system services ------------------

TEST(SystemGetIPHost, IsTheLocalHostName)
{
    SystemHostServices services;
    char buffer[257] = {};
    ASSERT_EQ(::gethostname(buffer, 256), 0);
    EXPECT_EQ(getIPHost(services), QString::fromLocal8Bit(buffer));
}

TEST(SystemGetIPAddress, ResolvesALiteralWithoutAnyNameServer)
{
    SystemHostServices services;
    QString name = QStringLiteral("127.0.0.1");
    EXPECT_EQ(getIPAddress(services, name), QStringLiteral("127.0.0.1"));
    QString blanks = QStringLiteral("  127.0.0.1  ");
    EXPECT_EQ(getIPAddress(services, blanks), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(blanks, QStringLiteral("127.0.0.1"));
}

TEST(SystemGetIPAddress, AnEmptyNameResolvesTheLocalHost)
{
    const std::optional<LocalHostEntry> local = localHostInEtcHosts();
    if (!local)
        GTEST_SKIP() << "the host name is not answered from /etc/hosts; the fake services cover this case";
    SystemHostServices services;
    QString name;
    EXPECT_EQ(getIPAddress(services, name), local->address);
    EXPECT_EQ(name, local->name);

    QString padded = QStringLiteral("  ") + local->name + QStringLiteral(" ");
    EXPECT_EQ(getIPAddress(services, padded), local->address);
    EXPECT_EQ(padded, local->name);
}

// ---- the same over a fake --------------------------------------------------

TEST(GetIPHost, GivesTheServicesNameOrEmpty)
{
    FakeHostServices services;
    EXPECT_EQ(getIPHost(services), QStringLiteral("fakehost"));
    services.hostName.clear();
    EXPECT_EQ(getIPHost(services), QString());
}

TEST(GetIPAddress, AnEmptyNameIsFilledWithTheLocalHostName)
{
    FakeHostServices services;
    services.names.insert(QStringLiteral("fakehost"), ipv4(192, 168, 7, 9));
    QString name;
    EXPECT_EQ(getIPAddress(services, name), QStringLiteral("192.168.7.9"));
    EXPECT_EQ(name, QStringLiteral("fakehost"));
    EXPECT_EQ(services.resolvedNames, QStringList{QStringLiteral("fakehost")});
}

TEST(GetIPAddress, TheNameComesBackTrimmedEvenWhenItDoesNotResolve)
{
    FakeHostServices services;
    QString name = QStringLiteral("  nowhere.example  ");
    EXPECT_EQ(getIPAddress(services, name), QString());
    EXPECT_EQ(name, QStringLiteral("nowhere.example"));
    EXPECT_EQ(services.resolvedNames, QStringList{QStringLiteral("nowhere.example")});
    EXPECT_EQ(services.hostNameCalls, 0);
}

// ---- Ping over a fake --------------------------------------------------------

TEST(Ping, ALiteralIsPingedAsItStands)
{
    FakeHostServices services;
    QString address = QStringLiteral("10.1.2.3");
    QString roundTrip, size;
    bool match = false;
    EXPECT_TRUE(ping(services, address, roundTrip, size, match));
    EXPECT_TRUE(services.resolvedNames.isEmpty());
    ASSERT_EQ(services.echoCalls.size(), 1);
    EXPECT_EQ(services.echoCalls[0].target, ipv4(10, 1, 2, 3));
    EXPECT_EQ(services.echoCalls[0].timeout, std::chrono::milliseconds(255));
    EXPECT_EQ(address, QStringLiteral("10.1.2.3"));
    EXPECT_EQ(roundTrip, QStringLiteral("3"));
    EXPECT_EQ(size, QStringLiteral("32 bytes"));
    EXPECT_TRUE(match);
}

TEST(Ping, SendsThirtyTwoRandomBytesNeverZero)
{
    FakeHostServices services;
    QSet<QByteArray> seen;
    for (int i = 0; i < 20; ++i) {
        QString address = QStringLiteral("10.0.0.1"), roundTrip, size;
        bool match = false;
        ping(services, address, roundTrip, size, match);
        const QByteArray payload = services.echoCalls.last().payload;
        ASSERT_EQ(payload.size(), 32);
        EXPECT_FALSE(payload.contains('\0'));
        seen.insert(payload);
    }
    EXPECT_EQ(seen.size(), 20);
}

TEST(Ping, ANameIsResolvedFirstAndAddressBecomesTheReplyAddress)
{
    FakeHostServices services;
    services.names.insert(QStringLiteral("mail.example"), ipv4(10, 9, 8, 7));
    QString address = QStringLiteral(" mail.example ");
    QString roundTrip, size;
    bool match = false;
    EXPECT_TRUE(ping(services, address, roundTrip, size, match));
    EXPECT_EQ(address, QStringLiteral("10.9.8.7"));
    ASSERT_EQ(services.echoCalls.size(), 1);
    EXPECT_EQ(services.echoCalls[0].target, ipv4(10, 9, 8, 7));
}

TEST(Ping, AnEmptyAddressPingsTheLocalHost)
{
    FakeHostServices services;
    services.names.insert(QStringLiteral("fakehost"), ipv4(127, 0, 1, 1));
    QString address, roundTrip, size;
    bool match = false;
    EXPECT_TRUE(ping(services, address, roundTrip, size, match));
    EXPECT_EQ(address, QStringLiteral("127.0.1.1"));
}

TEST(Ping, ANameThatDoesNotResolveFailsAndLeavesTheTrimmedName)
{
    FakeHostServices services;
    QString address = QStringLiteral("  nowhere.example "), roundTrip = QStringLiteral("old"),
            size = QStringLiteral("old");
    bool match = true;
    EXPECT_FALSE(ping(services, address, roundTrip, size, match));
    EXPECT_EQ(address, QStringLiteral("nowhere.example"));
    EXPECT_TRUE(services.echoCalls.isEmpty());
    EXPECT_EQ(roundTrip, QStringLiteral("old"));
    EXPECT_EQ(size, QStringLiteral("old"));
    EXPECT_TRUE(match);
}

TEST(Ping, NoReplyFailsAndRewritesAddressAsZeros)
{
    for (bool incoming : {false, true}) {
        FakeHostServices services;
        services.answer = [](const FakeHostServices::EchoCall &) {
            EchoReply reply;
            reply.status = echo_status::requestTimedOut;
            return reply;
        };
        QString address = QStringLiteral("10.0.0.99"), roundTrip, size;
        bool match = incoming;
        EXPECT_FALSE(ping(services, address, roundTrip, size, match));
        EXPECT_EQ(address, QStringLiteral("0.0.0.0"));
        EXPECT_EQ(roundTrip, QStringLiteral("0"));
        EXPECT_EQ(size, QStringLiteral("0 bytes"));
        EXPECT_EQ(match, incoming) << "DataMatch keeps its value without echoed data";
    }
}

TEST(Ping, AnErrorReplyFromARouterFails)
{
    FakeHostServices services;
    services.answer = [](const FakeHostServices::EchoCall &) {
        EchoReply reply;
        reply.status = echo_status::destinationHostUnreachable;
        reply.replyAddress = ipv4(10, 0, 0, 254);
        reply.roundTripMs = 1;
        return reply;
    };
    QString address = QStringLiteral("10.0.0.99"), roundTrip, size;
    bool match = false;
    EXPECT_FALSE(ping(services, address, roundTrip, size, match));
    EXPECT_EQ(address, QStringLiteral("10.0.0.254"));
}

TEST(Ping, AReplyFromAnotherAddressFails)
{
    FakeHostServices services;
    services.answer = [](const FakeHostServices::EchoCall &call) {
        EchoReply reply;
        reply.status = echo_status::success;
        reply.replyAddress = ipv4(10, 0, 0, 2);
        reply.data = call.payload;
        return reply;
    };
    QString address = QStringLiteral("10.0.0.1"), roundTrip, size;
    bool match = false;
    EXPECT_FALSE(ping(services, address, roundTrip, size, match));
    EXPECT_EQ(address, QStringLiteral("10.0.0.2"));
    EXPECT_TRUE(match);
}

TEST(Ping, DataMatchComparesTheEchoedDataWithoutRegardToCase)
{
    const struct {
        const char *name;
        std::function<QByteArray(const QByteArray &)> echoed;
        bool incoming;
        bool expected;
    } cases[] = {
        {"unchanged", [](const QByteArray &p) { return p; }, false, true},
        {"other case", [](const QByteArray &p) { return p.toUpper(); }, false, true},
        {"one bit changed", [](const QByteArray &p) { QByteArray d = p; d[5] = char(d[5] ^ 0x01); return d; }, true, false},
        {"cut short", [](const QByteArray &p) { return p.left(16); }, true, false},
        {"a NUL inside", [](const QByteArray &p) { QByteArray d = p; d[10] = '\0'; return d; }, true, false},
        {"a NUL first", [](const QByteArray &p) { QByteArray d = p; d[0] = '\0'; return d; }, true, true},
        {"a NUL first, false", [](const QByteArray &p) { QByteArray d = p; d[0] = '\0'; return d; }, false, false},
        {"nothing", [](const QByteArray &) { return QByteArray(); }, true, true},
        {"250 bytes without NUL", [](const QByteArray &) { return QByteArray(250, 'a'); }, false, false},
        {"250 bytes without NUL, true", [](const QByteArray &) { return QByteArray(250, 'a'); }, true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeHostServices services;
        services.answer = [&](const FakeHostServices::EchoCall &call) {
            EchoReply reply;
            reply.status = echo_status::success;
            reply.replyAddress = call.target;
            reply.data = c.echoed(call.payload);
            return reply;
        };
        QString address = QStringLiteral("10.0.0.1"), roundTrip, size;
        bool match = c.incoming;
        EXPECT_TRUE(ping(services, address, roundTrip, size, match));
        EXPECT_EQ(match, c.expected);
    }
}

TEST(Ping, ALiteralThatCannotBeAnAddressFailsWithoutARequest)
{
    for (const char *literal : {"-1.0.0.1", "1.-2.3.4", " +1.2.3.4 "}) {
        SCOPED_TRACE(literal);
        FakeHostServices services;
        QString address = QLatin1String(literal), roundTrip, size;
        bool match = false;
        const bool result = ping(services, address, roundTrip, size, match);
        if (QByteArray(literal).contains('-')) {
            EXPECT_FALSE(result);
            EXPECT_TRUE(services.echoCalls.isEmpty());
            EXPECT_EQ(address, QLatin1String(literal));
        } else {
            EXPECT_TRUE(result);
            ASSERT_EQ(services.echoCalls.size(), 1);
            EXPECT_EQ(services.echoCalls[0].target, ipv4(1, 2, 3, 4));
        }
    }
}

TEST(LiteralAddressBytes, Table)
{
    EXPECT_EQ(literalAddressBytes(u"127.0.0.1"), ipv4(127, 0, 0, 1));
    EXPECT_EQ(literalAddressBytes(u" 10. 0.0.255"), ipv4(10, 0, 0, 255));
    EXPECT_EQ(literalAddressBytes(u"10.0.0.256"), std::nullopt);
    EXPECT_EQ(literalAddressBytes(u"-1.0.0.1"), std::nullopt);
    EXPECT_EQ(literalAddressBytes(u"1.2.3"), std::nullopt);
    EXPECT_EQ(literalAddressBytes(u"a.b.c.d"), std::nullopt);
}

// ---- Ping over the system's ICMP, loopback only ------------------------------

TEST(SystemPing, LoopbackAnswersWithThirtyTwoBytes)
{
    SystemHostServices services;
    QString address = QStringLiteral("127.0.0.1"), roundTrip, size;
    bool match = false;
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(ping(services, address, roundTrip, size, match));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(size, QStringLiteral("32 bytes"));
    EXPECT_TRUE(isDotted(address)) << address.toStdString();
    EXPECT_EQ(address, QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(match);
    bool numeric = false;
    roundTrip.toUInt(&numeric);
    EXPECT_TRUE(numeric) << roundTrip.toStdString();
}

TEST(SystemPing, TheLocalHostNameAnswers)
{
    const std::optional<LocalHostEntry> local = localHostInEtcHosts();
    if (!local)
        GTEST_SKIP() << "the host name is not answered from /etc/hosts";
    SystemHostServices services;
    QString address, roundTrip, size;
    bool match = false;
    EXPECT_TRUE(ping(services, address, roundTrip, size, match));
    EXPECT_EQ(address, local->address);
    EXPECT_EQ(size, QStringLiteral("32 bytes"));
}

TEST(SystemEcho, EachSocketKindEchoesTheDataUnchanged)
{
    using Kind = SystemHostServices::IcmpSocket;
    int tried = 0;
    for (Kind kind : {Kind::DatagramOnly, Kind::RawOnly}) {
        SCOPED_TRACE(int(kind));
        if (!SystemHostServices::canOpen(kind))
            continue;
        ++tried;
        SystemHostServices services(kind);
        QByteArray payload(32, '\0');
        for (int i = 0; i < 32; ++i)
            payload[i] = char(1 + i * 7);
        for (int round = 0; round < 3; ++round) {
            const EchoReply reply = services.echo(ipv4(127, 0, 0, 1), payload, std::chrono::milliseconds(255));
            EXPECT_EQ(reply.status, echo_status::success);
            EXPECT_EQ(reply.replyAddress, ipv4(127, 0, 0, 1));
            EXPECT_EQ(reply.data, payload);
            EXPECT_LE(reply.roundTripMs, 255u);
        }
    }
    EXPECT_GE(tried, 1) << "neither an ICMP datagram socket nor a raw socket could be opened";
}

TEST(SystemEcho, AKindThatCannotBeOpenedFailsAtOnce)
{
    using Kind = SystemHostServices::IcmpSocket;
    for (Kind kind : {Kind::DatagramOnly, Kind::RawOnly}) {
        if (SystemHostServices::canOpen(kind))
            continue;
        SystemHostServices services(kind);
        QElapsedTimer timer;
        timer.start();
        const EchoReply reply = services.echo(ipv4(127, 0, 0, 1), QByteArray(32, 'a'), std::chrono::milliseconds(255));
        EXPECT_LT(timer.elapsed(), 100);
        EXPECT_EQ(reply.status, echo_status::generalFailure);
        EXPECT_EQ(reply.replyAddress, IPv4Address{});
        EXPECT_TRUE(reply.data.isEmpty());
    }
}

TEST(SystemEcho, NeverWaitsLongerThanItsTimeout)
{
    // A zero time-out on loopback: the reply may or may not be in yet, but
    // the call must come back at once.
    SystemHostServices services;
    QElapsedTimer timer;
    timer.start();
    const EchoReply reply = services.echo(ipv4(127, 0, 0, 1), QByteArray(32, 'b'), std::chrono::milliseconds(0));
    EXPECT_LT(timer.elapsed(), 50);
    EXPECT_TRUE(reply.status == echo_status::success || reply.status == echo_status::requestTimedOut)
        << reply.status;
}
