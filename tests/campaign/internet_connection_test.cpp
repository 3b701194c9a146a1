#include "gtest_qt_printers.h"
#include "internet_connection.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tramelo;

namespace {

InterfaceAddress entry(bool loopback, bool upAndRunning, const char *address = nullptr)
{
    InterfaceAddress a;
    a.loopback = loopback;
    a.upAndRunning = upAndRunning;
    if (address)
        a.address = QHostAddress(QString::fromLatin1(address));
    return a;
}

// A machine whose only outside interface has no carrier.
QList<InterfaceAddress> isolatedMachine()
{
    return {entry(true, true, "127.0.0.1"), entry(true, true, "::1"), entry(false, false),
            entry(false, false, "192.168.1.20"), entry(false, false, "fe80::1")};
}

} // namespace

TEST(SystemInternetConnection, OnLineThroughAnyOutsideLinkOrALocalServer)
{
    const ConnectedState onLan{1, connectedThroughLan};
    const ConnectedState offLine{0, 0};
    struct Case {
        const char *name;
        QList<InterfaceAddress> interfaces;
        const char *host;
        ConnectedState expected;
    };
    QList<InterfaceAddress> cabled = isolatedMachine();
    cabled.append(entry(false, true, "10.0.0.7"));
    QList<InterfaceAddress> linkOnly = isolatedMachine();
    linkOnly.append(entry(false, true)); // an interface without an IP address still links

    const Case cases[] = {
        {"cable, remote server", cabled, "smtp.exemple.cat", onLan},
        {"link without address", linkOnly, "smtp.exemple.cat", onLan},
        {"no carrier, remote server", isolatedMachine(), "smtp.exemple.cat", offLine},
        {"no carrier, a name is not resolved", isolatedMachine(), "localhost.localdomain", offLine},
        {"no carrier, remote address", isolatedMachine(), "192.168.1.21", offLine},
        {"no carrier, loopback", isolatedMachine(), "127.4.5.6", onLan},
        {"no carrier, IPv6 loopback", isolatedMachine(), "::1", onLan},
        {"no carrier, localhost", isolatedMachine(), "LocalHost", onLan},
        {"no carrier, own address", isolatedMachine(), "192.168.1.20", onLan},
        {"no carrier, own address mapped", isolatedMachine(), "::ffff:192.168.1.20", onLan},
        {"no carrier, own IPv6 address", isolatedMachine(), "fe80::1", onLan},
        {"no interfaces listed", {}, "10.0.0.7", offLine},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SystemInternetConnection connection([&c] { return c.interfaces; });
        const ConnectedState state = connection.connectedState(QString::fromLatin1(c.host));
        EXPECT_EQ(state.result, c.expected.result);
        EXPECT_EQ(state.flags, c.expected.flags);
    }
}

TEST(SystemInternetConnection, ListsThisMachinesLoopback)
{
    const QList<InterfaceAddress> addresses = systemInterfaceAddresses();
    const bool loopbackListed = std::any_of(addresses.begin(), addresses.end(), [](const InterfaceAddress &a) {
        return a.loopback && a.upAndRunning && a.address == QHostAddress(QHostAddress::LocalHost);
    });
    EXPECT_TRUE(loopbackListed);

    SystemInternetConnection connection;
    EXPECT_EQ(connection.connectedState(QStringLiteral("127.0.0.1")).result, 1);
}
