// The MX lookup end to end: the component asks a real dnsmasq on loopback,
// or sockets of the test's own that never answer.
#include "clsEnviarCorreu.h"
#include "dnsmasq_server.h"
#include "mx_message.h"
#include "test_resolver.h"
#include "test_support.h"

#include <QElapsedTimer>
#include <QUdpSocket>

#include "gtest_qt_printers.h"

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;

namespace {

class MxLookup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dns.start(
            {
                {"example.test", "mx-twenty.example.test", 20},
                {"example.test", "mx-five.example.test", 5},
                {"example.test", "mx-ten.example.test", 10},
            },
            {"test", "cd"}))
            << m_dns.output().constData();
        QObject::connect(&m_component, &clsEnviarCorreu::Status, [this](const QString &line) {
            m_status << line;
        });
    }

    // The resolver file of each test names dnsmasq (or the test's own
    // sockets) and carries a domain line, so no lookup can reach the
    // machine's own name servers.
    std::unique_ptr<TestResolver> useResolver(const QByteArray &contents)
    {
        return std::make_unique<TestResolver>(contents, m_dns.port());
    }

    DnsmasqServer m_dns;
    clsEnviarCorreu m_component;
    QStringList m_status;
};

// A UDP socket on a loopback address that takes datagrams and never answers.
struct SilentServer {
    explicit SilentServer(const QString &address, quint16 port) { bound = socket.bind(QHostAddress(address), port); }

    QByteArray firstDatagram()
    {
        if (!socket.waitForReadyRead(1000) && !socket.hasPendingDatagrams())
            return {};
        QByteArray datagram(socket.pendingDatagramSize(), Qt::Uninitialized);
        socket.readDatagram(datagram.data(), datagram.size());
        return datagram;
    }

    QUdpSocket socket;
    bool bound = false;
};

} // namespace

TEST_F(MxLookup, FindsTheBestExchanger)
{
    const auto resolver = useResolver(m_dns.resolverFileContents("office.example.test"));
    EXPECT_EQ(m_component.MXQuery("  example.test  "), "mx-five.example.test");
    EXPECT_EQ(m_status, QStringList({"Performing MX Query, Domain: example.test"}));
    EXPECT_EQ(m_dns.mxQueries(), QStringList({"example.test"}));
}

TEST_F(MxLookup, EmptyDomainQueriesTheLocalDomain)
{
    const auto resolver = useResolver(m_dns.resolverFileContents("example.test"));
    EXPECT_EQ(m_component.MXQuery(" "), "mx-five.example.test");
    EXPECT_EQ(m_status, QStringList({"Performing MX Query"}));
    EXPECT_EQ(m_dns.mxQueries(), QStringList({"example.test"}));
}

TEST_F(MxLookup, ClimbsFromAHostToTheBaseDomain)
{
    const auto resolver = useResolver(m_dns.resolverFileContents("office.example.test"));
    EXPECT_EQ(m_component.MXQuery("sales.example.test"), "mx-five.example.test");
    EXPECT_EQ(m_dns.mxQueries(), QStringList({"sales.example.test", "example.test"}));
}

TEST_F(MxLookup, ClimbStopsAtTheBaseDomain)
{
    const auto resolver = useResolver(m_dns.resolverFileContents("quiet.test"));
    EXPECT_EQ(m_component.MXQuery("host.quiet.test"), "");
    EXPECT_EQ(m_dns.mxQueries(), QStringList({"host.quiet.test", "quiet.test"}));
    EXPECT_EQ(m_status, QStringList({"Performing MX Query, Domain: host.quiet.test"}));
}

TEST_F(MxLookup, NoClimbOutsideTheBaseDomain)
{
    const auto resolver = useResolver(m_dns.resolverFileContents("office.example.test"));
    EXPECT_EQ(m_component.MXQuery("host.other.test"), "");
    EXPECT_EQ(m_dns.mxQueries(), QStringList({"host.other.test"}));
}

TEST_F(MxLookup, DomainOfFourCharactersIsRefusedAndFiveIsAsked)
{
    const auto resolver = useResolver(m_dns.resolverFileContents("example.test"));
    EXPECT_EQ(m_component.MXQuery("ab.c"), "");
    EXPECT_EQ(m_status, QStringList({"Performing MX Query, Domain: ab.c", "No Valid Domain Specified"}));
    EXPECT_EQ(m_component.MXQuery("ab.cd"), "");
    EXPECT_EQ(m_dns.mxQueries(), QStringList({"ab.cd"}));
}

TEST_F(MxLookup, NoNameServerIsAStatusAndAnEmptyResult)
{
    const auto resolver = useResolver("domain example.test\n");
    EXPECT_EQ(m_component.MXQuery("example.test"), "");
    EXPECT_EQ(m_status, QStringList({"Performing MX Query, Domain: example.test",
                                     "No DNS entries found, MX Query cannot contine."}));
}

TEST_F(MxLookup, ServerThatNeverAnswersTimesOut)
{
    SilentServer silent("127.0.0.1", freeUdpPort());
    ASSERT_TRUE(silent.bound);
    const TestResolver resolver("nameserver 127.0.0.1\ndomain example.test\n", silent.socket.localPort());

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(m_component.MXQuery("example.test"), "");
    EXPECT_GE(elapsed.elapsed(), 4900);
    EXPECT_LT(elapsed.elapsed(), 8000);
    EXPECT_EQ(m_status, QStringList({"Performing MX Query, Domain: example.test", "Problem receiving MX query"}));
    // What went out on the wire, byte for byte.
    EXPECT_EQ(silent.firstDatagram().toHex(' '),
              QByteArray("\x11\xDF\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00"
                         "\x07" "example" "\x04" "test" "\x00\x00\x0F\x00\x01", 30)
                  .toHex(' '));
}

TEST_F(MxLookup, SilentServerIsFollowedByTheNextOne)
{
    SilentServer silent("127.0.0.2", m_dns.port());
    ASSERT_TRUE(silent.bound);
    const auto resolver = useResolver("nameserver 127.0.0.2\nnameserver 127.0.0.1\ndomain example.test\n");

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(m_component.MXQuery("example.test"), "mx-five.example.test");
    EXPECT_GE(elapsed.elapsed(), 4900);
    EXPECT_EQ(silent.firstDatagram(), modMXQuery::mxQueryDatagram("example.test"));
}

TEST_F(MxLookup, ClosedPortIsFollowedByTheNextOneAtOnce)
{
    // Nothing listens on 127.0.0.3 at this port: the refusal comes back at once.
    const auto resolver = useResolver("nameserver 127.0.0.3\nnameserver 127.0.0.1\ndomain example.test\n");
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(m_component.MXQuery("example.test"), "mx-five.example.test");
    EXPECT_LT(elapsed.elapsed(), 2000);
}
