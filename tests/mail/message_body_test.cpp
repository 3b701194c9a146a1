#include "message_body.h"
#include "message_data_writer.h"

#include "gtest_qt_printers.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

QString repeated(QChar c, qsizetype count)
{
    return QString(count, c);
}

QStringList linesOf(const QString &prepared)
{
    return prepared.split(QStringLiteral("\r\n"));
}

} // namespace

TEST(PrepareBody, EmptyStaysEmpty)
{
    EXPECT_EQ(prepareBody(u""), QString());
}

TEST(PrepareBody, EveryLineEndBecomesCrLf)
{
    const struct {
        const char16_t *input;
        const char16_t *expected;
    } cases[] = {
        {u"one", u"one"},
        {u"one\r\ntwo", u"one\r\ntwo"},
        {u"one\ntwo", u"one\r\ntwo"},              // bare LF (Linux files)
        {u"one\rtwo", u"one\r\ntwo"},              // lone CR
        {u"a\r\nb\nc\rd", u"a\r\nb\r\nc\r\nd"},    // mixed
        {u"a\n\rb", u"a\r\n\r\nb"},                // LF then CR: two line ends
        {u"a\r\r\nb", u"a\r\n\r\nb"},
        {u"a\n", u"a\r\n"},                        // a last line end stays
        {u"\n", u"\r\n"},
        {u"a\n\n", u"a\r\n\r\n"},
        {u"x\r\n", u"x\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.input).toStdString());
        const QString prepared = prepareBody(QString::fromUtf16(c.input));
        EXPECT_EQ(prepared, QString::fromUtf16(c.expected));
        // No bare CR or LF is left.
        EXPECT_EQ(prepared.count(u'\r'), prepared.count(QStringLiteral("\r\n")));
        EXPECT_EQ(prepared.count(u'\n'), prepared.count(QStringLiteral("\r\n")));
    }
}

TEST(MessageDataWriter, DotsAreDoubledAtTheStartOfEveryLineAndNulBytesDropped)
{
    // Pieces are written one after the other; "|" separates them.
    const struct {
        QByteArray pieces;
        QByteArray expected;
    } cases[] = {
        {".", ".."},
        {".hidden", "..hidden"},
        {"a.b", "a.b"},
        {"a\r\n.\r\nb", "a\r\n..\r\nb"},
        {"..two", "...two"},
        {" .x", " .x"},
        {"a\r\n|.b", "a\r\n..b"}, // a line start at the end of a piece
        {"a|.b", "a.b"},           // a piece that goes on with the line
        {QByteArrayLiteral("a\r\n\0.b\0"), "a\r\n..b"}, // NUL bytes are dropped first
        {"a\n.b", "a\n..b"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pieces.toStdString());
        MessageDataWriter writer;
        QByteArray wire;
        for (const QByteArray &piece : c.pieces.split('|'))
            wire += writer.toWire(piece);
        EXPECT_EQ(wire, c.expected);
    }
}

TEST(PrepareBody, A2000CharacterLineWithoutBlanksBecomes998And998And4)
{
    const QString prepared = prepareBody(repeated(u'x', 2000));
    const QStringList lines = linesOf(prepared);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].size(), 998);
    EXPECT_EQ(lines[1].size(), 998);
    EXPECT_EQ(lines[2].size(), 4);
    EXPECT_EQ(lines.join(QString()), repeated(u'x', 2000));
}

TEST(PrepareBody, LinesUpTo998CharactersStayWhole)
{
    EXPECT_EQ(prepareBody(repeated(u'x', 998)), repeated(u'x', 998));
    EXPECT_EQ(linesOf(prepareBody(repeated(u'x', 999))).size(), 2);
}

TEST(PrepareBody, FoldsAfterTheLastBlankAtOrBefore998)
{
    // A blank at position 500 (1-based): the first piece ends with it.
    const QString line = repeated(u'a', 499) + u' ' + repeated(u'b', 700);
    const QStringList lines = linesOf(prepareBody(line));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], repeated(u'a', 499) + u' ');
    EXPECT_EQ(lines[1], repeated(u'b', 700));

    // A blank exactly at position 998 is the cut; one at 999 is not.
    const QString at998 = repeated(u'a', 997) + u' ' + repeated(u'b', 10);
    EXPECT_EQ(linesOf(prepareBody(at998)), (QStringList{repeated(u'a', 997) + u' ', repeated(u'b', 10)}));
    const QString at999 = repeated(u'a', 998) + u' ' + repeated(u'b', 10);
    EXPECT_EQ(linesOf(prepareBody(at999)), (QStringList{repeated(u'a', 998), u' ' + repeated(u'b', 10)}));
}

TEST(PrepareBody, FoldingWorksOnLinesEndedByBareLineFeeds)
{
    const QString body = QStringLiteral("short\n") + repeated(u'x', 2000) + QStringLiteral("\nend\n");
    const QStringList lines = linesOf(prepareBody(body));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("short"), repeated(u'x', 998), repeated(u'x', 998),
                                  repeated(u'x', 4), QStringLiteral("end"), QString()}));
}

TEST(PrepareBody, ThePieceOfADotFoldsOneCharacterEarlier)
{
    // The dot the writer puts in front of such a piece counts towards its length.
    const QString line = repeated(u'x', 998) + QStringLiteral(".tail");
    EXPECT_EQ(linesOf(prepareBody(line)), (QStringList{repeated(u'x', 998), QStringLiteral(".tail")}));
    const QString dotted = u'.' + repeated(u'y', 997); // 998 characters, 999 once stuffed
    EXPECT_EQ(linesOf(prepareBody(dotted)), (QStringList{dotted.left(997), QStringLiteral("y")}));
    const QString twice = repeated(u'x', 998) + u'.' + repeated(u'z', 1500);
    EXPECT_EQ(linesOf(prepareBody(twice)),
              (QStringList{repeated(u'x', 998), u'.' + repeated(u'z', 996), repeated(u'z', 504)}));
}

TEST(PrepareBody, ABlankAtTheStartOnlyMakesAOneCharacterPiece)
{
    const QString line = u' ' + repeated(u'x', 1000);
    const QStringList lines = linesOf(prepareBody(line));
    EXPECT_EQ(lines, (QStringList{QStringLiteral(" "), repeated(u'x', 998), QStringLiteral("xx")}));
}

TEST(PrepareBody, NeverSplitsACharacterOutsideTheBmp)
{
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString line = repeated(u'x', 997) + emoji + repeated(u'x', 5);
    const QStringList lines = linesOf(prepareBody(line));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], repeated(u'x', 997));
    EXPECT_EQ(lines[1], emoji + repeated(u'x', 5));
}

TEST(PrepareBody, AVeryLongLineIsFoldedQuickly)
{
    const QString line = repeated(u'x', 4'000'000);
    const QString prepared = prepareBody(line);
    EXPECT_EQ(prepared.size(), 4'000'000 + 2 * (4'000'000 / 998));
}

TEST(EightBit, ByteAbove126)
{
    EXPECT_FALSE(hasEightBitCharacters(u""));
    EXPECT_FALSE(hasEightBitCharacters(u"plain ASCII ~ text\r\n"));
    EXPECT_TRUE(hasEightBitCharacters(u"\u007f"));       // 127 counts
    EXPECT_TRUE(hasEightBitCharacters(u"Adre\u00e7a"));  // ç
    EXPECT_TRUE(hasEightBitCharacters(u"\u20ac"));       // euro sign, byte 0x80
    EXPECT_FALSE(hasEightBitCharacters(u"\u4e2d"));      // no single-byte form: "?"
}

TEST(EncodeBody, Latin1AsAlwaysAnyOtherTextAsUtf8InAFormTheServerTakes)
{
    using enum BodyChannel;
    struct Case {
        const char *name;
        QString text;
        BodyChannel channel;
        const char *charset;
        const char *transfer;
        QByteArray bytes; // not compared when empty
    };
    const QString greek = QStringLiteral("Καλημέρα");
    const Case cases[] = {
        {"ascii", QStringLiteral("Hola"), SevenBit, "iso-8859-1", "7bit", "Hola"},
        {"latin-1, 8BITMIME or not", QStringLiteral("Adéu"), SevenBit, "iso-8859-1", "8bit", "Ad\xE9u"},
        {"latin-1 with NUL", QStringLiteral("Ad\0éu"), EightBitMime, "iso-8859-1", "8bit", "Ad\xE9u"},
        {"ascii html declaring utf-8", QStringLiteral("<meta charset=utf-8>Hi"), EightBitMime, "iso-8859-1", "7bit", "<meta charset=utf-8>Hi"},
        {"latin-1 html declaring utf-8", QStringLiteral("<meta charset=\"UTF-8\">Adéu"), EightBitMime, "utf-8", "8bit",
         "<meta charset=\"UTF-8\">Ad\xC3\xA9u"},
        {"euro sign, 8BITMIME", QStringLiteral("5 €"), EightBitMime, "utf-8", "8bit", "5 \xE2\x82\xAC"},
        {"euro sign, no 8BITMIME", QStringLiteral("Preu: 5 €"), SevenBit, "utf-8", "quoted-printable", "Preu: 5 =E2=82=AC"},
        {"greek, no 8BITMIME", greek, SevenBit, "utf-8", "base64", "zprOsc67zrfOvM6tz4HOsQ==\r\n"},
        {"a line over 998 bytes, 8BITMIME", greek.repeated(70), EightBitMime, "utf-8", "base64", {}},
        {"998 bytes and a dot", QStringLiteral(".") + QString(994, u'x') + QStringLiteral("€"), EightBitMime, "utf-8",
         "quoted-printable", {}},
        {"998 bytes", QString(995, u'x') + QStringLiteral("€\r\nb"), EightBitMime, "utf-8", "8bit", {}},
        {"plain format", greek, Unlabelled, "utf-8", "8bit", greek.toUtf8()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const EncodedBody body = encodeBody(c.text, hasEightBitCharacters(c.text), c.channel);
        EXPECT_EQ(body.charset, QString::fromLatin1(c.charset));
        EXPECT_EQ(body.transferEncoding, QString::fromLatin1(c.transfer));
        if (!c.bytes.isEmpty()) {
            EXPECT_EQ(body.bytes, c.bytes);
        }
    }
}
