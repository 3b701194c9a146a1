#include "mx_query.h"
#include "resolver_config.h"
#include "test_resolver.h"

#include "gtest_qt_printers.h"

#include <gtest/gtest.h>

using namespace tramelo::modMXQuery;

TEST(ResolverConfig, ParsesNameServersAndDomain)
{
    struct Case {
        const char *name;
        QByteArray contents;
        QStringList nameServers;
        QString domain;
    };
    const Case cases[] = {
        {"servers in file order", "nameserver 10.0.0.2\nnameserver 10.0.0.1\nnameserver 10.0.0.3\n",
         {"10.0.0.2", "10.0.0.1", "10.0.0.3"}, ""},
        {"domain line", "domain corp.example.test\nnameserver 10.0.0.1\n", {"10.0.0.1"}, "corp.example.test"},
        {"first search entry", "search a.example.test b.example.test\nnameserver 10.0.0.1", {"10.0.0.1"},
         "a.example.test"},
        {"domain before search, whatever the order", "search s.example.test\ndomain d.example.test\n", {},
         "d.example.test"},
        {"last domain line counts", "domain one.test\ndomain two.test\n", {}, "two.test"},
        {"comments and blanks", "# nameserver 10.9.9.9\n; domain no.test\n  nameserver\t10.0.0.1  # local\n"
                                "options ndots:2\n\nnameserver 10.0.0.4;x\n",
         {"10.0.0.1", "10.0.0.4"}, ""},
        {"keyword without value", "nameserver\ndomain\nsearch\n", {}, ""},
        {"CR LF line ends", "nameserver 10.0.0.1\r\ndomain crlf.test\r\n", {"10.0.0.1"}, "crlf.test"},
        {"empty file", "", {}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ResolverConfig config = parseResolverConfig(c.contents);
        EXPECT_EQ(config.nameServers, c.nameServers);
        EXPECT_EQ(config.domain, c.domain);
    }
}

TEST(ResolverConfig, BaseDomainIsTheLastTwoLabels)
{
    EXPECT_EQ(baseDomainOf("office.corp.example.test"), "example.test");
    EXPECT_EQ(baseDomainOf("example.test"), "example.test");
    EXPECT_EQ(baseDomainOf("localdomain"), "localdomain");
    EXPECT_EQ(baseDomainOf(""), "");
}

TEST(ResolverDiscovery, DomainFromTheFile)
{
    TestResolver resolver("nameserver 127.0.0.1\nnameserver 127.0.0.2\ndomain office.example.test\n");
    discoverNameServers();
    EXPECT_EQ(resolverState().nameServers, QStringList({"127.0.0.1", "127.0.0.2"}));
    EXPECT_EQ(resolverState().localDomain, "office.example.test");
    EXPECT_EQ(resolverState().baseDomain, "example.test");
    EXPECT_TRUE(resolver.reverseLookups().isEmpty());
}

TEST(ResolverDiscovery, WithoutDomainTheFirstServerIsLookedUpInReverse)
{
    TestResolver resolver("nameserver 127.0.0.1\nnameserver 127.0.0.2\n", 53, "ns1.branch.example.test");
    discoverNameServers();
    EXPECT_EQ(resolver.reverseLookups(), QStringList({"127.0.0.1"}));
    EXPECT_EQ(resolverState().localDomain, "branch.example.test");
    EXPECT_EQ(resolverState().baseDomain, "example.test");
}

TEST(ResolverDiscovery, ReverseNameWithoutDotGivesNoDomain)
{
    TestResolver resolver("nameserver 127.0.0.1\n", 53, "gateway");
    discoverNameServers();
    EXPECT_EQ(resolverState().localDomain, "");
    EXPECT_EQ(resolverState().baseDomain, "gateway");
}

TEST(ResolverDiscovery, NoServerNoLookupAndAnError)
{
    TestResolver resolver("domain example.test\n");
    const MxQueryResult result = queryMailExchanger("example.test");
    ASSERT_TRUE(result.error.has_value());
    EXPECT_EQ(result.error->description, "No DNS entries found, MX Query cannot contine.");
    EXPECT_TRUE(resolver.reverseLookups().isEmpty());
}
