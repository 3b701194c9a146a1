#include "content_encoders.h"
#include "windows1252.h"

#include <QRandomGenerator>

#include "gtest_qt_printers.h"

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::modCorreu;

namespace {

QByteArray randomBytes(qsizetype length, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(length, Qt::Uninitialized);
    for (char &b : bytes)
        b = static_cast<char>(generator.bounded(256));
    return bytes;
}

// The standard encoding cut into lines of 76, each ended by CR LF.
QByteArray referenceLines(const QByteArray &bytes)
{
    const QByteArray plain = bytes.toBase64();
    QByteArray lines;
    for (qsizetype start = 0; start < plain.size(); start += 76)
        lines += plain.mid(start, 76) + "\r\n";
    return lines;
}

} // namespace

TEST(Base64Lines, MatchesStandardBase64ForEveryLengthUpTo300)
{
    for (qsizetype length = 0; length <= 300; ++length) {
        SCOPED_TRACE(length);
        const QByteArray bytes = randomBytes(length, quint32(length) + 1);
        ASSERT_EQ(encodeBase64Lines(bytes), referenceLines(bytes));
    }
}

TEST(Base64Lines, MatchesStandardBase64ForLargeInputs)
{
    for (const qsizetype length : {qsizetype(11400), qsizetype(65536 + 1), qsizetype(1 << 20) + 2}) {
        SCOPED_TRACE(length);
        const QByteArray bytes = randomBytes(length, quint32(length));
        EXPECT_EQ(encodeBase64Lines(bytes), referenceLines(bytes));
    }
}

TEST(Base64Lines, PiecesOfWholeLinesEncodeLikeTheWholeStream)
{
    const QByteArray bytes = randomBytes(11400 * 3 + 1234, 7);
    QByteArray pieces;
    for (qsizetype start = 0; start < bytes.size(); start += 11400)
        pieces += encodeBase64Lines(bytes.mid(start, 11400));
    EXPECT_EQ(pieces, encodeBase64Lines(bytes));
}

TEST(Base64Lines, LineLayout)
{
    struct Case {
        QByteArray input;
        QByteArray expected;
    };
    const QByteArray line57(57, '\0');
    const QByteArray zeros76(76, 'A');
    const Case cases[] = {
        {"a", "YQ==\r\n"},
        {"ab", "YWI=\r\n"},
        {"abc", "YWJj\r\n"},
        {line57, zeros76 + "\r\n"},
        {line57 + '\0', zeros76 + "\r\nAA==\r\n"},
        {line57 + line57, zeros76 + "\r\n" + zeros76 + "\r\n"},
        {"\xFF\xFE\xFD", "//79\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input.size());
        EXPECT_EQ(encodeBase64Lines(c.input), c.expected);
    }
}

TEST(QuotedPrintable, LinesWithinSeventySixCharacters)
{
    struct Case {
        QByteArray input;
        QByteArray expected;
    };
    const QByteArray x75(75, 'x');
    const Case cases[] = {
        {"a=b\tc", "a=3Db\tc"},
        {"blank \r\ntab\t\r\nend ", "blank=20\r\ntab=09\r\nend=20"},
        {"\r\n\r\n", "\r\n\r\n"},
        {"a\nb\rc\x7F", "a=0Ab=0Dc=7F"},
        {"5 \xE2\x82\xAC", "5 =E2=82=AC"},
        {x75, x75},
        {x75 + "y", x75 + "=\r\ny"},
        {x75 + "y\r\n" + x75, x75 + "=\r\ny\r\n" + x75},
        // A character's bytes stay on one line.
        {x75.first(70) + "\xC3\xA9", x75.first(70) + "=\r\n=C3=A9"},
        {x75.first(69) + "\xC3\xA9", x75.first(69) + "=C3=A9"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        EXPECT_EQ(encodeQuotedPrintable(c.input), c.expected);
    }
}

TEST(Base64Text, EncodesWindows1252BytesInLines)
{
    EXPECT_EQ(encodeBase64Text(QString()), QString());
    EXPECT_EQ(encodeBase64Text(QStringLiteral("user@example.test")), QStringLiteral("dXNlckBleGFtcGxlLnRlc3Q=\r\n"));
    // The euro sign is byte 0x80 in Windows-1252; "é" is 0xE9.
    EXPECT_EQ(encodeBase64Text(QStringLiteral("\u20AC\u00E9")), QStringLiteral("gOk=\r\n"));
    const QString long58 = QString(58, QLatin1Char('x'));
    EXPECT_EQ(encodeBase64Text(long58), QString::fromLatin1(referenceLines(QByteArray(58, 'x'))));
}

TEST(Base64TextDecoder, Cases)
{
    struct Case {
        const char *name;
        QString input;
        QString expected;
    };
    const Case cases[] = {
        {"full group", "YWJj", "abc"},
        {"padding at position 3", "YWI=", "ab"},
        {"padding at position 2", "YQ==", "a"},
        {"padding at position 1 gives nothing", "Y===", ""},
        {"padding at position 0 gives nothing", "====", ""},
        {"groups go on after padding", "YQ==YWI=YWJj", "aababc"},
        {"short group completed with A", "YQ", QString::fromLatin1("a\0\0", 3)},
        {"CR LF pairs are dropped", "YWJj\r\nYWJj\r\n", "abcabc"},
        {"CR LF inside a group", "YW\r\nJj", "abc"},
        {"blank in a group", "YWJj YWJj", ""},
        {"blank after padding", "YWI= ", ""},
        {"blank in the last group only", "YWJjYWJjYW j", ""},
        {"lone line feed", "YWJj\nYWJj", ""},
        {"lone carriage return", "YWJj\rYWJj", ""},
        {"LF CR is not a pair", "YWJj\n\rYWJj", ""},
        {"character outside the alphabet", "YW-j", ""},
        {"non-ASCII character", "YW\u00E9j", ""},
        {"bytes above 127 through Windows-1252", "gOk=", "\u20AC\u00E9"},
        {"empty", "", ""},
        {"only CR LF", "\r\n", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeBase64Text(c.input), c.expected);
    }
}

TEST(Base64TextDecoder, InvertsTheEncoderWithAndWithoutLineBreaks)
{
    for (qsizetype length = 1; length <= 200; length += 7) {
        SCOPED_TRACE(length);
        const QString text = fromWindows1252(randomBytes(length, quint32(length) * 31));
        const QString encoded = encodeBase64Text(text);
        EXPECT_EQ(decodeBase64Text(encoded), text);
        EXPECT_EQ(decodeBase64Text(QString(encoded).remove(QStringLiteral("\r\n"))), text);
    }
}

TEST(Uuencode, Lines)
{
    struct Case {
        QByteArray input;
        QByteArray expected;
    };
    const Case cases[] = {
        {"abc", "#86)C"},
        {"a", "!80=="},
        {"ab", "\"86(="},
        {QByteArray(3, '\0'), "#````"},
        {"", "`"},
        {QByteArray(63, '\xFF'), '_' + QByteArray(84, '_')},
        {QByteArray(64, 'x'), ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input.size());
        EXPECT_EQ(uuencodeBytesLine(c.input), c.expected);
    }
}

TEST(Uuencode, SixBitValuesAgreeWithBase64)
{
    const QByteArray alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (qsizetype length = 1; length <= 63; ++length) {
        SCOPED_TRACE(length);
        const QByteArray bytes = randomBytes(length, quint32(length) * 17);
        const QByteArray line = uuencodeBytesLine(bytes);
        const QByteArray base64 = bytes.toBase64(QByteArray::OmitTrailingEquals);
        ASSERT_EQ(line.size(), 1 + base64.size() + (3 - length % 3) % 3);
        EXPECT_EQ(line[0], char(length + 32));
        for (qsizetype i = 0; i < base64.size(); ++i)
            EXPECT_EQ((line[1 + i] - 32) & 63, alphabet.indexOf(base64[i])) << "character " << i;
        EXPECT_TRUE(line.endsWith(QByteArray((3 - length % 3) % 3, '=')));
    }
}

TEST(Uuencode, KnownLinesAndTheLongestInput)
{
    EXPECT_EQ(uuencodeBytesLine("abc"), QByteArray("#86)C"));
    EXPECT_EQ(uuencodeBytesLine("\xE9"), QByteArray("!Z0=="));
    EXPECT_EQ(uuencodeBytesLine(QByteArray(63, 'a')).size(), 1 + 84);
    EXPECT_EQ(uuencodeBytesLine(QByteArray(64, 'a')), QByteArray());
}
