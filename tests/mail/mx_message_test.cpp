#include "crafted_mx_replies.h"
#include "mx_message.h"

#include "gtest_qt_printers.h"

#include <gtest/gtest.h>

using namespace tramelo::modMXQuery;

TEST(MxReplyParse, CraftedReplies)
{
    for (const CraftedMxReply &c : craftedMxReplies()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bestMailExchanger(replyBufferFrom(c.reply)), c.expected);
    }
}

TEST(MxReplyParse, OnlyTheFirst2048BytesAreKept)
{
    DnsReplyBuilder b(1);
    b.question(DnsReplyBuilder::name("example.test"));
    b.raw(QByteArray(2100 - b.size(), '\0'));
    const ReplyBuffer reply = replyBufferFrom(b.bytes());
    EXPECT_EQ(reply.receivedLength, 2048u);
    EXPECT_EQ(answerCount(reply), 1);
}

TEST(MxReplyParse, AnswerCountIsUnsigned)
{
    QByteArray header(12, '\0');
    header[6] = char(0xFF);
    header[7] = char(0xFE);
    EXPECT_EQ(answerCount(replyBufferFrom(header)), 65534);
    // So many answers counted and none there: the zeros after the reply end the parse.
    EXPECT_EQ(bestMailExchanger(replyBufferFrom(header)), QString());
}

TEST(MxQueryDatagram, ByteForByte)
{
    struct Case {
        QString domain;
        QByteArray expected;
    };
    const QByteArray header("\x11\xDF\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12);
    const QByteArray trailer("\x00\x00\x0F\x00\x01", 5);
    const Case cases[] = {
        {"example.test", header + "\x07" "example" "\x04" "test" + trailer},
        {"ab.cd", header + "\x02" "ab" "\x02" "cd" + trailer},
        // Labels go through Windows-1252: one byte per character, "?" for
        // a character outside the code page (here one of two UTF-16 units).
        {QStringLiteral("caf\u00E9.test"), header + "\x04" "caf\xE9" "\x04" "test" + trailer},
        {QString::fromUtf8("x\xF0\x9F\x98\x80.test"), header + "\x02" "x?" "\x04" "test" + trailer},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.domain.toStdString());
        const QByteArray datagram = mxQueryDatagram(c.domain);
        EXPECT_EQ(datagram.toHex(' '), c.expected.toHex(' '));
    }
}
