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

TEST(TopLevelDomainText, IsTheExact853CharacterText)
{
    const QString list = topLevelDomainText();
    EXPECT_EQ(list.size(), 853);
    const QStringList entries = list.split(u' ');
    EXPECT_EQ(entries.size(), 273);
    EXPECT_EQ(entries.first(), QStringLiteral("AC"));
    EXPECT_EQ(entries.last(), QStringLiteral("ZW"));
    QStringList sorted = entries;
    sorted.sort();
    EXPECT_EQ(sorted, entries) << "alphabetical order";
    for (const QString &entry : entries) {
        EXPECT_FALSE(entry.isEmpty()) << "single blanks only";
        EXPECT_EQ(entry, entry.toUpper());
    }
    for (const char *entry : {"AERO", "ARPA", "ASIA", "BIZ", "CAT", "COM", "COOP", "EDU", "GOV", "INFO", "INT",
                              "JOBS", "MIL", "MOBI", "MUSEUM", "NAME", "NET", "ORG", "PRO", "TEL", "TRAVEL",
                              "XN", "YU", "TP", "ES"})
        EXPECT_TRUE(entries.contains(QLatin1String(entry))) << entry;
}

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
        {u"example.org", true},        // lower-case labels are upper-cased first
        {u"mail.example.museum", true},
        {u"com", false},               // one label alone fails, even a list entry
        {u"localhost", false},
        {u"example.c", true},          // substring search: "C" occurs in the text
        {u"example.om", true},         // "OM" is an entry (and part of "COM")
        {u"example.co m", false},      // "CO M" occurs nowhere
        {u"example.ac ad", true},      // ... but "AC AD" does: the search is over the text
        {u"example.", true},           // an empty last label is found at the first position
        {u".", true},
        {u"example.xyz", false},
        {u"example.q", true},          // "Q" occurs inside "AQ"
        {u"example.j", true},
        {u"example.comm", false},
        {u"  example.com  ", true},    // blanks around the domain
        {u"\texample.com", true},      // only its last label is looked up
        {u"example.com\t", false},     // tabs are not blanks
        {u"239.255.255.255", true},    // a literal
        {u"240.1.1.1", false},         // no literal, and "1" is not in the text
        {u"1.2.3.4.5", false},
        {u"", false},                  // one (empty) label
        {u"example.\u0131nfo", false}, // a dotless i is not upper-cased to a Latin I
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
        {u"@example.com", true},             // the part before "@" may be empty
        {u"any!#$%&'*+/=?^_`{|}~-@example.com", true}, // and hold other printable characters
        {u" anna@example.com  ", true},      // blanks around the address
        {u"anna@example", false},            // one label
        {u"anna@example.xyz", false},
        {u"anna@192.168.1.2", true},
        {u"anna@240.168.1.2", false},
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
        {u"\"a\"@example.com", false},
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
}

TEST(TrimBlanks, RemovesSpacesOnly)
{
    EXPECT_EQ(trimBlanks(u"  a b  "), QStringLiteral("a b"));
    EXPECT_EQ(trimBlanks(u"   "), QString());
    EXPECT_EQ(trimBlanks(u"\ta\n"), QStringLiteral("\ta\n"));
}
