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

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void appendBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

RowOutcome sentRow(int row, const QString &address)
{
    return {row, address, true, SendStage::Validation, QStringLiteral("250 2.0.0 Ok"), QStringLiteral("<1@x.cat>")};
}

class SendJournalFile : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    QString path = folder.filePath(QStringLiteral("campanya.enviaments.csv"));
};

} // namespace

TEST(SendJournal, LivesBesideTheProject)
{
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/campanya.pcm")), QStringLiteral("/c/campanya.enviaments.csv"));
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/CAMPANYA.Pcm")), QStringLiteral("/c/CAMPANYA.enviaments.csv"));
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/campanya")), QStringLiteral("/c/campanya.enviaments.csv"));
    EXPECT_EQ(SendJournal::pathFor(QStringLiteral("/c/x.pcm.bak")), QStringLiteral("/c/x.pcm.bak.enviaments.csv"));
}

TEST_F(SendJournalFile, RowsAreCsvWithAHeaderAndCrLfOwnerOnly)
{
    SendJournal journal;
    ASSERT_EQ(journal.open(path), std::nullopt);
    const QList<RowOutcome> rows = {
        sentRow(1, QStringLiteral("anna@x.cat")),
        {2, QStringLiteral("bo\"ris@x.cat"), false, SendStage::Recipient, QStringLiteral("550 5.1.1 <b>: no, never"), {}},
        {3, QStringLiteral("e\r\nRCPT TO:<y@x.cat>"), false, SendStage::Validation, QStringLiteral("Adreça de correu no vàlida"), {}},
        {4, QStringLiteral("d@x.cat"), false, SendStage::Timeout, QStringLiteral("Timeout occurred"), {}},
    };
    ASSERT_EQ(journal.append(rows), std::nullopt);
    EXPECT_TRUE(journal.hasRowsNotDurable());
    ASSERT_EQ(journal.makeDurable(), std::nullopt);
    EXPECT_FALSE(journal.hasRowsNotDurable());
    journal.close();

    const QString text = QString::fromUtf8(contents(path));
    const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d([+-]\\d\\d:\\d\\d|Z),"),
                                  QRegularExpression::MultilineOption);
    EXPECT_EQ(QString(text).replace(time, QStringLiteral("T,")),
              QStringLiteral("Data i hora,Fila,Adreça,Resultat,Etapa,Resposta,Message-ID\r\n"
                             "T,1,anna@x.cat,S,,250 2.0.0 Ok,<1@x.cat>\r\n"
                             "T,2,\"bo\"\"ris@x.cat\",N,destinatari,\"550 5.1.1 <b>: no, never\",\r\n"
                             "T,3,e RCPT TO:<y@x.cat>,N,validació,Adreça de correu no vàlida,\r\n"
                             "T,4,d@x.cat,N,temps esgotat,Timeout occurred,\r\n"));
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
}

TEST_F(SendJournalFile, SentMeansAnSRowAfterTheLastResetWhateverTheLetterCase)
{
    SendJournal journal;
    ASSERT_EQ(journal.open(path), std::nullopt);
    ASSERT_EQ(journal.append({sentRow(1, QStringLiteral("vell@x.cat")), sentRow(2, QStringLiteral("Anna@X.cat"))}), std::nullopt);
    journal.close();
    ASSERT_EQ(SendJournal::recordMarksCleared(path), std::nullopt);
    EXPECT_TRUE(contents(path).endsWith(",,,,marques esborrades,,\r\n"));
    ASSERT_EQ(journal.open(path), std::nullopt);
    RowOutcome failed = sentRow(3, QStringLiteral("no@x.cat"));
    failed.sent = false;
    ASSERT_EQ(journal.append({sentRow(1, QStringLiteral(" ANNA@x.cat ")), failed, sentRow(4, QStringLiteral("b@x.cat"))}), std::nullopt);
    journal.close();
    // A run killed in the middle of a row: the cut row is no row, and the
    // next run starts on a line of its own.
    appendBytes(path, "2026-01-01T10:00:00+01:00,5,tallat@x.cat,S,,\"250 ok");
    ASSERT_EQ(journal.open(path), std::nullopt);
    ASSERT_EQ(journal.append({sentRow(6, QStringLiteral("c@x.cat"))}), std::nullopt);
    journal.close();

    const JournalReading reading = readJournal(path);
    EXPECT_EQ(reading.status, JournalReading::Status::Read);
    EXPECT_EQ(reading.sentAddresses, (QSet<QString>{QStringLiteral("anna@x.cat"), QStringLiteral("b@x.cat"), QStringLiteral("c@x.cat")}));
    EXPECT_EQ(addressKey(QStringLiteral(" Anna@X.Cat\t")), QStringLiteral("anna@x.cat"));
}

TEST_F(SendJournalFile, AFileThatIsNoJournalIsNeitherReadNorWritten)
{
    EXPECT_EQ(readJournal(path).status, JournalReading::Status::Absent);
    EXPECT_EQ(SendJournal::recordMarksCleared(path), std::nullopt);
    EXPECT_FALSE(QFile::exists(path));
    // As a spreadsheet saves it back in a Catalan locale.
    appendBytes(path, "Data i hora;Fila;Adreça;Resultat;Etapa;Resposta;Message-ID\r\nx;1;a@x.cat;S;;;\r\n");
    const JournalReading reading = readJournal(path);
    EXPECT_EQ(reading.status, JournalReading::Status::Unreadable);
    EXPECT_EQ(reading.reason, QStringLiteral("la primera línia no és la capçalera d'un registre d'enviaments"));
    SendJournal journal;
    EXPECT_EQ(journal.open(path), QStringLiteral("No s'ha pogut obrir el registre d'enviaments %1: la primera línia no és "
                                                 "la capçalera d'un registre d'enviaments")
                                      .arg(path));
    EXPECT_FALSE(journal.isOpen());
}

TEST_F(SendJournalFile, AHundredThousandRowsAreReadAsTheirAddresses)
{
    SendJournal journal;
    ASSERT_EQ(journal.open(path), std::nullopt);
    for (int group = 0; group < 1000; ++group) {
        QList<RowOutcome> rows;
        for (int i = 0; i < 100; ++i)
            rows << sentRow(group * 100 + i + 1, QStringLiteral("persona%1@example.com").arg(group * 100 + i));
        ASSERT_EQ(journal.append(rows), std::nullopt);
    }
    journal.close();
    const JournalReading reading = readJournal(path);
    EXPECT_EQ(reading.sentAddresses.size(), 100000);
    EXPECT_TRUE(reading.sentAddresses.contains(QStringLiteral("persona99999@example.com")));
}
