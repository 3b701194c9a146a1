// The send journal as a file: its name, its rows as RFC 4180 CSV, what a
// reader counts as sent, and what a run that ended mid-row leaves behind.
#include "gtest_qt_printers.h"
#include "send_journal.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tramelo;

TEST(SendJournal, RowsAreCsvAndSentMeansAnSRowAfterTheLastReset)
{
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/a.pcm")), QStringLiteral("/c/a.enviaments.csv"));
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/a.PCM")), QStringLiteral("/c/a.PCM.enviaments.csv"));
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/a.pcm.bak")), QStringLiteral("/c/a.pcm.bak.enviaments.csv"));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("a.enviaments.csv"));
    const auto sent = [](const QString &address) {
        return RowOutcome{1, address, true, SendStage::Validation, QStringLiteral("250 Ok"), QStringLiteral("<1@x>")};
    };
    const auto append = [&path](const QList<RowOutcome> &rows, const QByteArray &cutRow = {}) {
        SendJournal journal;
        EXPECT_EQ(journal.open(path), std::nullopt);
        EXPECT_EQ(journal.append(rows), std::nullopt);
        EXPECT_EQ(journal.makeDurable(), std::nullopt);
        journal.close();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::Append) && file.write(cutRow) == cutRow.size());
    };
    append({sent(QStringLiteral("Anna@X.cat")),
            {2, QStringLiteral("b\"o\r\nRCPT@x"), false, SendStage::Recipient, QStringLiteral("550 no,\r\n never"), {}}});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    EXPECT_TRUE(QString::fromUtf8(file.readAll())
                    .contains(QRegularExpression(QStringLiteral(
                        "^Data i hora,Fila,Adreça,Resultat,Etapa,Resposta,Message-ID\r\n"
                        "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d,1,Anna@X.cat,S,,250 Ok,<1@x>\r\n"
                        "[^,]+,2,\"b\"\"o RCPT@x\",N,destinatari,\"550 no, never\",\r\n$"))));

    // A reset, then a run killed in the middle of a row: the cut row is no
    // row, and the next run starts on a line of its own.
    ASSERT_EQ(SendJournal::recordMarksCleared(path), std::nullopt);
    append({sent(QStringLiteral(" ANNA@x.cat "))}, "2026-01-01T10:00:00+01:00,5,tallat@x.cat,S,,\"250 ok");
    append({sent(QStringLiteral("b@x.cat"))});
    const JournalReading reading = readJournal(path);
    EXPECT_EQ(reading.status, JournalReading::Status::Read);
    EXPECT_EQ(reading.sentAddresses, (QSet<QString>{QStringLiteral("anna@x.cat"), QStringLiteral("b@x.cat")}));
    ASSERT_EQ(SendJournal::recordMarksCleared(path), std::nullopt);
    EXPECT_TRUE(readJournal(path).sentAddresses.isEmpty());

    // Made durable on a thread of its own while the run goes on; a journal
    // closed with a sync still running waits for it.
    SendJournal journal;
    ASSERT_EQ(journal.open(path), std::nullopt);
    ASSERT_EQ(journal.append({sent(QStringLiteral("c@x.cat"))}), std::nullopt);
    EXPECT_TRUE(journal.hasRowsNotDurable());
    journal.startMakingDurable();
    EXPECT_EQ(journal.finishMakingDurable(), std::nullopt);
    EXPECT_FALSE(journal.hasRowsNotDurable());
    ASSERT_EQ(journal.append({sent(QStringLiteral("d@x.cat"))}), std::nullopt);
    journal.startMakingDurable();
    journal.close();
    EXPECT_EQ(readJournal(path).sentAddresses, (QSet<QString>{QStringLiteral("c@x.cat"), QStringLiteral("d@x.cat")}));
}
