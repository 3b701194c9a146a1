#include "component_support.h"

#include "gtest_qt_printers.h"

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

using namespace tramelo;

TEST(TimeZoneOffsetText, Table)
{
    const struct {
        int bias;
        const char *expected;
    } cases[] = {
        {-60, "+0100"}, {300, "-0500"}, {-330, "+0530"}, {0, "+0000"},
        {-120, "+0200"}, {345, "-0545"}, {-765, "+1245"}, {720, "-1200"}, {1, "-0001"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bias);
        EXPECT_EQ(timeZoneOffsetText(c.bias), QLatin1String(c.expected));
    }
}

TEST(LocalTimeZoneBias, FollowsTheCLibrary)
{
    const QByteArray saved = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "UTC0");
    EXPECT_EQ(localTimeZoneBiasMinutes(), 0);
    qputenv("TZ", "XST-5:30");
    EXPECT_EQ(localTimeZoneBiasMinutes(), -330);
    qputenv("TZ", "XST5");
    EXPECT_EQ(localTimeZoneBiasMinutes(), 300);
    // Daylight time in force all year: the bias includes it.
    qputenv("TZ", "XST5XDT,J1/0,J365/24");
    EXPECT_EQ(localTimeZoneBiasMinutes(), 240);
    if (hadTz)
        qputenv("TZ", saved);
    else
        qunsetenv("TZ");
    tzset();
}

TEST(FileNameOfPath, TextAfterTheLastSlashOrBackslash)
{
    EXPECT_EQ(fileNameOfPath(u"/home/anna/doc.pdf"), QStringLiteral("doc.pdf"));
    EXPECT_EQ(fileNameOfPath(u"C:\\docs\\doc.pdf"), QStringLiteral("doc.pdf"));
    EXPECT_EQ(fileNameOfPath(u"/a\\b/c\\d.txt"), QStringLiteral("d.txt"));
    EXPECT_EQ(fileNameOfPath(u"doc.pdf"), QStringLiteral("doc.pdf"));
    EXPECT_EQ(fileNameOfPath(u"/folder/"), QString());
}

TEST(ContentBase, Normalisation)
{
    const struct {
        const char *input;
        const char *expected;
    } cases[] = {
        {"", ""},
        {"www.example.com\\images", "http://www.example.com/images/"},
        {"HTTP://www.example.com/images/", "HTTP://www.example.com/images/"},
        {"Http://x", "Http://x/"},
        {"https://x/", "http://https://x/"}, // only "http://" is looked for
        {"x/http://y", "x/http://y/"},       // anywhere in the text
        {"/", "http:///"},
        {"a\\b\\", "http://a/b/"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(normalizedContentBase(QLatin1String(c.input)), QLatin1String(c.expected));
    }
}

TEST(CleanListElement, BlanksCrLfAndTabs)
{
    EXPECT_EQ(cleanListElement(QStringLiteral("  a@b.com ")), QStringLiteral("a@b.com"));
    EXPECT_EQ(cleanListElement(QStringLiteral("a@b\r\n.com")), QStringLiteral("a@b.com"));
    EXPECT_EQ(cleanListElement(QStringLiteral("a\t@b.com")), QStringLiteral("a@b.com"));
    EXPECT_EQ(cleanListElement(QStringLiteral("\tName ")), QStringLiteral("Name"));
    EXPECT_EQ(cleanListElement(QStringLiteral("a\n\rb")), QStringLiteral("a\n\rb")); // only CR LF pairs
}
