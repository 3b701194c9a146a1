#include "gtest_qt_printers.h"
#include "project_extension.h"
#include "project_record.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace tramelo;

namespace {

QByteArray fromHex(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

// Every field holds something, so that a field read from the wrong place shows.
const ProjectRecord full{
    .senderAddress = "jo@exemple.cat", .senderName = "Associació", .smtpServer = "[::1]:2525",
    .needsLogin = 1, .loginUser = "usuari", .loginPassword = "secret", .databaseSource = "/dades/socis.sqlite",
    .tableOrStatement = "Select * From Socis", .addressField = "Correu", .messageSubject = "Hola <<<Nom>>>",
    .bodySource = "/dades/carta.htm", .fieldDelimiterLeft = "<<<", .fieldDelimiterRight = ">>>",
    .groupSendings = 1, .groupSize = -20, .waitSeconds = 70000, .attachmentList = "a.pdf;b.pdf",
    .recipientRowCount = 3, .sourceIsTable = false, .tableQuoteLeft = "`", .tableQuoteRight = "`",
    .bodyIsFile = true};

} // namespace

TEST(ProjectRecord, WritesTheDefaultCampaignByteForByte)
{
    const ProjectRecord r{.fieldDelimiterLeft = "<<<", .fieldDelimiterRight = ">>>", .groupSize = 20,
                          .recipientRowCount = 2, .sourceIsTable = true, .bodyIsFile = true};
    const QByteArray expected = fromHex("0000 0000 0000 00 0000 0000 0000 0000 0000 0000 0000"
                                        "0300 3C3C3C 0300 3E3E3E 00 1400 00000000 0000 02000000 FFFF"
                                        "0000 0000 FFFF");
    ASSERT_EQ(expected.size(), 52);
    EXPECT_EQ(writeProject(r, {}), expected);
    EXPECT_EQ(writeProject(r, "SN "), expected + "SN ");
}

TEST(ProjectRecord, TextsAreWindows1252AndFitTheirCount)
{
    const ProjectRecord r{.senderName = "Façana €", .loginUser = "日本"}; // no single-byte form
    const QByteArray bytes = writeProject(r, {}).value();
    EXPECT_EQ(bytes.mid(2, 10), fromHex("0800 46 61 E7 61 6E 61 20 80"));
    EXPECT_EQ(bytes.mid(2 + 10 + 2 + 1, 4), fromHex("0200 3F3F"));

    ProjectRecord longest{.bodySource = QString(maxProjectTextBytes, u'x')};
    EXPECT_EQ(readProjectRecord(writeProject(longest, {}).value()).record, longest);
    longest.bodySource += u'x';
    EXPECT_FALSE(writeProject(longest, {}).has_value());
}

TEST(ProjectRecord, ReadsBackEveryFieldAndAnyNonZeroTruth)
{
    QByteArray bytes = writeProject(full, "SN  ").value();
    const ProjectReading back = readProjectRecord(bytes);
    EXPECT_TRUE(back.complete);
    EXPECT_EQ(back.record, full);
    EXPECT_EQ(back.length, bytes.size() - 4);

    bytes[back.length - 2] = 0x00; // "body is a file" now 00 FF: still true
    EXPECT_TRUE(readProjectRecord(bytes).record.bodyIsFile);
    bytes[back.length - 1] = 0x00;
    EXPECT_FALSE(readProjectRecord(bytes).record.bodyIsFile);
}

TEST(ProjectRecord, EveryTruncationKeepsExactlyTheWholeFieldsBeforeTheCut)
{
    const QByteArray bytes = writeProject(full, "SNS ").value();
    const auto text = [](const QString &t) { return qsizetype(2 + t.size()); };
    const qsizetype sizes[] = {text(full.senderAddress), text(full.senderName), text(full.smtpServer), 1,
                               text(full.loginUser), text(full.loginPassword), text(full.databaseSource),
                               text(full.tableOrStatement), text(full.addressField), text(full.messageSubject),
                               text(full.bodySource), text(full.fieldDelimiterLeft), text(full.fieldDelimiterRight),
                               1, 2, 4, text(full.attachmentList), 4, 2, text(full.tableQuoteLeft),
                               text(full.tableQuoteRight), 2};
    const qsizetype recordSize = std::accumulate(std::begin(sizes), std::end(sizes), qsizetype(0));

    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        qsizetype wholeFields = 0;
        for (const qsizetype size : sizes) {
            if (wholeFields + size > cut)
                break;
            wholeFields += size;
        }
        const ProjectReading reading = readProjectRecord(QByteArrayView(bytes).first(cut));
        EXPECT_EQ(reading.length, wholeFields);
        EXPECT_EQ(reading.complete, wholeFields == recordSize);
        EXPECT_EQ(reading.record.bodyIsFile, reading.complete); // the last field
        // What was read writes back to the very bytes it came from.
        EXPECT_EQ(writeProject(reading.record, {}).value().first(reading.length), bytes.first(reading.length));
    }
}

TEST(ProjectRecord, CountsBeyondTheFileAreNotTrusted)
{
    // A text that claims 65535 bytes with three behind it: nothing from there on.
    const ProjectReading reading = readProjectRecord(fromHex("0200 6869 FFFF 616263"));
    EXPECT_FALSE(reading.complete);
    EXPECT_EQ(reading.record.senderAddress, QStringLiteral("hi"));
    EXPECT_EQ(reading.record.senderName, QString());
    EXPECT_EQ(reading.length, 4);
    EXPECT_EQ(firstForeignMark("SN N S"), -1);
    EXPECT_EQ(firstForeignMark("SNsN"), 2);
    EXPECT_EQ(firstForeignMark(QByteArray("S\0", 2)), 1);
}

TEST(ProjectExtension, WritesTheDocumentedBlockAndNothingForNoEntries)
{
    EXPECT_EQ(writeProjectExtension({}), QByteArray());
    // Keys in order; CRC-32 of the payload as zlib computes it.
    const QByteArray payload = fromHex("0100" "01 61 01000000 78" "02 6263 00000000");
    const QByteArray block = writeProjectExtension({{"bc", ""}, {"a", "x"}}).value();
    EXPECT_EQ(block, payload + fromHex("10000000") + fromHex("C64C98E4") + "TRAMELOX");
    EXPECT_EQ(readProjectExtension(block), (ProjectExtension{{"a", "x"}, {"bc", ""}}));

    for (const QByteArray &key : {QByteArray(), QByteArray("dues paraules"), QByteArray("clau\xE9"), QByteArray(256, 'k')})
        EXPECT_FALSE(writeProjectExtension({{key, "v"}}).has_value()) << key.constData();
    EXPECT_TRUE(writeProjectExtension({{QByteArray(255, 'k'), "v"}}).has_value());
}

TEST(ProjectExtension, ADamagedOrForeignBlockReadsAsNone)
{
    const ProjectExtension entries{{"seguretat", "starttls"}, {"certificats", "/c/ca.pem"}};
    const QByteArray block = writeProjectExtension(entries).value();
    const QByteArray marks = "SN ";
    ASSERT_EQ(readProjectExtension(marks + block), entries);

    // Blocks whose CRC (computed with Python's zlib) matches what they hold.
    ASSERT_EQ(readProjectExtension(fromHex("0100016b0100000076 09000000 790930b1") + "TRAMELOX"),
              (ProjectExtension{{"k", "v"}}));
    struct Case {
        const char *name;
        QByteArray bytes;
    };
    QByteArray flipped = marks + block;
    flipped[marks.size() + 5] = char(flipped[marks.size() + 5] ^ 0x01);
    const Case cases[] = {
        {"a payload byte changed", flipped},
        {"cut at its start", block.sliced(1)},
        {"no magic", block.chopped(1)},
        {"its length past the bytes given", fromHex("016b0100000076 09000000 790930b1") + "TRAMELOX"},
        {"a later version", fromHex("0200016b0100000076 09000000 bc35bd88") + "TRAMELOX"},
        {"a blank for a key", fromHex("01000120010000007609000000d6f3afd4") + "TRAMELOX"},
        {"a key twice", fromHex("0100016b0100000076016b0100000077 10000000 35b339f0") + "TRAMELOX"},
        {"an entry cut short", fromHex("0100016b02000000 08000000 85823f26") + "TRAMELOX"},
        {"a byte after the last entry", fromHex("0100016b010000007600 0a000000 1c166afb") + "TRAMELOX"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readProjectExtension(c.bytes), ProjectExtension());
    }
}
