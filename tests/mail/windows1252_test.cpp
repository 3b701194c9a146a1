#include "windows1252.h"

#include <gtest/gtest.h>

using namespace tramelo;

TEST(Windows1252, EveryByteRoundTrips)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = fromWindows1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toWindows1252(text), all);
}

TEST(Windows1252, KnownCharactersMapToTheirBytes)
{
    struct Case {
        char16_t character;
        unsigned char byte;
    };
    const Case cases[] = {
        {u'A', 0x41},  {0x20AC, 0x80}, {0x00E7, 0xE7}, {0x00E9, 0xE9}, {0x2019, 0x92},
        {0x0178, 0x9F}, {0x0152, 0x8C}, {0x00A0, 0xA0}, {0x00FF, 0xFF}, {0x0000, 0x00},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.character));
        const QByteArray bytes = toWindows1252(QStringView(&c.character, 1));
        ASSERT_EQ(bytes.size(), 1);
        EXPECT_EQ(static_cast<unsigned char>(bytes[0]), c.byte);
        EXPECT_EQ(fromWindows1252(bytes), QString(QChar(c.character)));
    }
}

TEST(Windows1252, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    // Greek alpha, a C1 control that 1252 uses for the euro sign, a CJK
    // ideograph and an emoji (one character, two UTF-16 units).
    const QString text = QStringLiteral("a\u03B1b\u0080c\u4E2Dd") + QString::fromUtf8("\xF0\x9F\x98\x80") + u'e';
    EXPECT_EQ(toWindows1252(text), QByteArray("a?b?c?d?e"));
}

TEST(Windows1252, LoneSurrogateIsOneQuestionMark)
{
    const char16_t units[] = {u'x', 0xD800, u'y', 0xDC00};
    EXPECT_EQ(toWindows1252(QStringView(units, 4)), QByteArray("x?y?"));
}
