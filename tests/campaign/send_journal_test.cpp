// The send journal as a file: its name, its rows as RFC 4180 CSV, what a
// reader counts as sent, and what a run that ended mid-row leaves behind.
#include "gtest_qt_printers.h"
#include "send_journal.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

void append(const QString &path, const QList<RowOutcome> &rows, const QByteArray &afterwards = {})
{
    SendJournal journal;
    ASSERT_EQ(journal.open(path), std::nullopt);
    ASSERT_EQ(journal.append(rows), std::nullopt);
    ASSERT_EQ(journal.makeDurable(), std::nullopt);
    journal.close();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append) && file.write(afterwards) == afterwards.size());
}

RowOutcome sent(const QString &address)
{
    return {1, address, true, SendStage::Validation, QStringLiteral("250 Ok"), QStringLiteral("<1@x.cat>")};
}

} // namespace

TEST(SendJournal, RowsAreCsvBesideTheProjectForItsOwnerOnly)
{
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/a.pcm")), QStringLiteral("/c/a.enviaments.csv"));
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/a.PCM")), QStringLiteral("/c/a.enviaments.csv"));
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/a.pcm.bak")), QStringLiteral("/c/a.pcm.bak.enviaments.csv"));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("a.enviaments.csv"));
    append(path, {sent(QStringLiteral("anna@x.cat")),
                  {2, QStringLiteral("bo\"ris@x.cat"), false, SendStage::Recipient, QStringLiteral("550 <b>: no,\r\n never"), {}},
                  {3, QStringLiteral("e\r\nRCPT TO:<y@x.cat>"), false, SendStage::Timeout, QStringLiteral("Timeout"), {}}});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d,"),
                                  QRegularExpression::MultilineOption);
    EXPECT_EQ(QString::fromUtf8(file.readAll()).replace(time, QStringLiteral("T,")),
              QStringLiteral("Data i hora,Fila,Adreça,Resultat,Etapa,Resposta,Message-ID\r\n"
                             "T,1,anna@x.cat,S,,250 Ok,<1@x.cat>\r\n"
                             "T,2,\"bo\"\"ris@x.cat\",N,destinatari,\"550 <b>: no, never\",\r\n"
                             "T,3,e RCPT TO:<y@x.cat>,N,temps esgotat,Timeout,\r\n"));
    EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
}

TEST(SendJournal, SentMeansAnSRowAfterTheLastResetRowWhateverTheLetterCase)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("a.enviaments.csv"));
    EXPECT_EQ(readJournal(path).status, JournalReading::Status::Absent);
    EXPECT_EQ(SendJournal::recordMarksCleared(path), std::nullopt); // nothing to clear: no file made
    append(path, {sent(QStringLiteral("vell@x.cat")), sent(QStringLiteral("Anna@X.cat"))});
    ASSERT_EQ(SendJournal::recordMarksCleared(path), std::nullopt);
    RowOutcome failed = sent(QStringLiteral("no@x.cat"));
    failed.sent = false;
    // A run killed in the middle of a row: the cut row is no row, and the
    // next run starts on a line of its own.
    append(path, {sent(QStringLiteral(" ANNA@x.cat ")), failed}, "2026-01-01T10:00:00+01:00,5,tallat@x.cat,S,,\"250 ok");
    append(path, {sent(QStringLiteral("b@x.cat"))});
    const JournalReading reading = readJournal(path);
    EXPECT_EQ(reading.status, JournalReading::Status::Read);
    EXPECT_EQ(reading.sentAddresses, (QSet<QString>{QStringLiteral("anna@x.cat"), QStringLiteral("b@x.cat")}));

    // As a spreadsheet saves it back in a Catalan locale: neither read nor written.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("Data i hora;Fila;Adreça;Resultat\r\n") > 0);
    file.close();
    EXPECT_EQ(readJournal(path).status, JournalReading::Status::Unreadable);
    SendJournal journal;
    EXPECT_NE(journal.open(path), std::nullopt);
    EXPECT_FALSE(journal.isOpen());
}

TEST(SendJournal, AHundredThousandRowsAreReadAsTheirAddresses)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("a.enviaments.csv"));
    QList<RowOutcome> rows;
    for (int i = 0; i < 100000; ++i)
        rows << sent(QStringLiteral("persona%1@example.com").arg(i));
    append(path, rows);
    const JournalReading reading = readJournal(path);
    EXPECT_EQ(reading.sentAddresses.size(), 100000);
    EXPECT_TRUE(reading.sentAddresses.contains(QStringLiteral("persona99999@example.com")));
}
