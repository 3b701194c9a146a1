#include "address_validation.h"
#include "plain_text.h"

#include "gtest_qt_printers.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

struct Case {
    const char16_t *input;
    bool expected;
};

QString text(const char16_t *s)
{
    return QString::fromUtf16(s);
}

} // namespace

TEST(ReadWholeNumber, AcceptsDigitsWithBlanksAndASign)
{
    const struct {
        const char16_t *input;
        std::optional<long long> expected;
    } cases[] = {
        {u"0", 0},          {u"255", 255},     {u"007", 7},         {u" 12 ", 12},  {u"+5", 5},
        {u"-1", -1},        {u"  -0", 0},      {u"", std::nullopt}, {u" ", std::nullopt},
        {u"+", std::nullopt}, {u"1.0", std::nullopt}, {u"1e2", std::nullopt}, {u"&HFF", std::nullopt},
        {u"0x1F", std::nullopt}, {u"1 2", std::nullopt}, {u"- 1", std::nullopt}, {u"\t1", std::nullopt},
        {u"\u0661", std::nullopt}, {u"99999999999999999999", 1LL << 32},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(text(c.input).toStdString());
        EXPECT_EQ(readWholeNumber(text(c.input)), c.expected);
    }
}

TEST(IPv4LiteralCheck, Table)
{
    const Case cases[] = {
        {u"239.255.255.255", true}, // the bounds themselves
        {u"240.0.0.1", false},      // first part above 239
        {u"0.0.0.0", true},
        {u"127.0.0.1", true},
        {u"10.256.0.1", false},     // another part above 255
        {u"10.0.0.256", false},
        {u"1.2.3", false},          // three parts
        {u"1.2.3.4.5", false},      // five parts
        {u"1..3.4", false},         // an empty part is no number
        {u"1.2.3.", false},
        {u"a.2.3.4", false},
        {u" 1. 2 .3 .4 ", true},    // blanks around each part, as the numeric test allows
        {u"+1.2.3.4", true},        // a sign, likewise
        {u"-1.2.3.4", true},        // only the upper bounds are checked
        {u"1.2.3.4e0", false},
        {u"1.2.3.0x4", false},
        {u"", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(text(c.input).toStdString());
        EXPECT_EQ(isIPv4Literal(text(c.input)), c.expected);
    }
}

TEST(DomainCheck, Table)
{
    const Case cases[] = {
        {u"example.com", true},
        {u"EXAMPLE.COM", true},
        {u"example.org", true},
        {u"mail.example.museum", true},
        {u"smtp-1.example.barcelona", true}, // any top-level domain of letters
        {u"example.xn--p1ai", true},         // or an internationalised one
        {u"com", false},               // one label alone fails, even a list entry
        {u"localhost", false},
        {u"example.c", false},         // a top-level domain of one letter
        {u"example.co m", false},
        {u"example.", false},          // an empty label
        {u"example.c0m", false},       // a digit in the top-level domain
        {u"-smtp.example.com", false}, // a hyphen at either end of a label
        {u"  example.com  ", true},    // blanks around the domain
        {u"\texample.com", false},     // tabs are not blanks
        {u"example.com\t", false},     // tabs are not blanks
        {u"239.255.255.255", true},    // a literal
        {u"240.1.1.1", false},         // no literal, and "1" is no top-level domain
        {u"1.2.3.4.5", false},
        {u"", false},                  // one (empty) label
        {u"example.\u0131nfo", false}, // a dotless i is no letter a-z
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(text(c.input).toStdString());
        EXPECT_EQ(isValidDomain(text(c.input)), c.expected);
    }
}

TEST(IsValidEmailAddress, Table)
{
    const Case cases[] = {
        {u"anna@example.com", true},
        {u"anna@example.cat", true},
        {u"anna@EXAMPLE.Org", true},
        {u"@example.com", false},            // the part before "@" is a dot-atom
        {u"any!#$%&'*+/=?^_`{|}~-@example.com", true},
        {u"doble..punt@example.com", false},
        {u".anna@example.com", false},
        {u"\"Anna Maria\"@example.com", true}, // or a quoted string
        {u" anna@example.com  ", true},      // blanks around the address
        {u"anna@example", false},            // one label
        {u"a@example.c", false},
        {u"a@example.", false},
        {u"anna@192.168.1.2", false},        // an address only in brackets
        {u"anna@[192.168.1.2]", true},
        {u"anna@[IPv6:2001:db8::1]", true},
        {u"anna@[256.1.1.1]", false},
        {u"anna", false},                    // no "@"
        {u"", false},
        {u"anna@bob@example.com", false},    // two "@"
        {u"@@example.com", false},
        {u"anna@example.com@", false},
        // Mended: control characters and angle brackets anywhere are invalid.
        {u"anna\r\n@example.com", false},
        {u"anna@example.com\r\nRCPT TO:<x@example.com>", false},
        {u"anna\n@example.com", false},
        {u"anna\r@example.com", false},
        {u"an\tna@example.com", false},
        {u"anna@example.com\t", false},
        {u"an\u0000na@example.com", false},
        {u"an\u001fna@example.com", false},
        {u"an\u007fna@example.com", false},
        {u"anna>@example.com", false},
        {u"<anna@example.com", false},
        {u"anna@example.com>", false},
        {u"anna@<example.com", false},
        // Mended: what would break the headers or the envelope is invalid too.
        {u"a,b@example.com", false},
        {u"a;b@example.com", false},
        {u"\"a;b\"@example.com", false},
        {u"an na@example.com", false},
        {u"anna@ example.com", false},
        {u"an\u0080na@example.com", false},
        {u"\u00e0lex@example.com", false},
        {u"anna@ex\u00e0mple.com", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(text(c.input).toStdString());
        EXPECT_EQ(isValidEmailAddress(text(c.input)), c.expected);
    }
    // Top-level domains beyond any fixed list.
    for (const char *domain : {"barcelona", "gal", "eus", "dev", "shop", "online"})
        EXPECT_TRUE(isValidEmailAddress(QStringLiteral("anna@example.") + QLatin1String(domain))) << domain;
}

TEST(TrimBlanks, RemovesSpacesOnly)
{
    EXPECT_EQ(trimBlanks(u"  a b  "), QStringLiteral("a b"));
    EXPECT_EQ(trimBlanks(u"   "), QString());
    EXPECT_EQ(trimBlanks(u"\ta\n"), QStringLiteral("\ta\n"));
}
