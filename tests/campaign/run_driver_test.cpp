// Whole campaigns run headless against aiosmtpd on loopback, with recipients
// in SQLite files made by the tests; every message is checked on arrival.
#include "campaign_identity.h"
#include "campaign_run_fixture.h"
#include "gtest_qt_printers.h"
#include "clsEnviarCorreu.h"
#include "connection_security.h"
#include "merge_fields.h"
#include "record_snapshot.h"
#include "scripted_server.h"
#include "send_journal.h"
#include "smtp_script.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tramelo;
using namespace tramelo::test;
using namespace std::chrono_literals;

namespace {

QString header(const AiosmtpdServer::Message &message, const QString &name)
{
    const QString text = QString::fromLatin1(message.data);
    const QRegularExpression line(QStringLiteral("^%1: (.*)$").arg(name),
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1).trimmed();
}

const QString finished = QStringLiteral("Enviament finalitzat");

} // namespace

TEST(CampaignRun, OneMergedMessagePerRecipient)
{
    CampaignRunFixture f;
    QList<Recipient> rows = numberedRecipients(4);
    rows[2].nom = QStringLiteral("<<<Ciutat>>>"); // a value holding a later field's placeholder, merged as written
    ASSERT_TRUE(f.createRecipients(rows));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());

    f.pressSend(false);

    ASSERT_TRUE(server.waitForMessages(4, 10s));
    const QList<AiosmtpdServer::Message> messages = server.messages();
    ASSERT_EQ(messages.size(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const QString address = *rows[i].correu;
        EXPECT_EQ(messages[i].rcptTos, QStringList{address});
        EXPECT_EQ(header(messages[i], QStringLiteral("To")), QStringLiteral("\"%1\" <%1>").arg(address));
        const QString &nom = rows[i].nom;
        EXPECT_EQ(header(messages[i], QStringLiteral("Subject")), QStringLiteral("Hola ") + nom);
        EXPECT_TRUE(messages[i].data.contains(QStringLiteral("<p>Bon dia %1, de %2</p>").arg(nom, rows[i].ciutat).toLatin1()));
    }
    EXPECT_EQ(f.marks(), QStringList(4, QStringLiteral("Si")));
    EXPECT_EQ(f.campaign.grid().sentMarks(), QByteArray("SSSS "));
    EXPECT_EQ(f.view.counts, QStringLiteral("4/4/4"));
    EXPECT_EQ(f.view.messageTexts(), QStringList{endOfRun(4, 4, 4, 0)});
    EXPECT_TRUE(f.campaign.isDirty());
    EXPECT_FALSE(f.campaign.isRunning());
    EXPECT_EQ(f.view.busyDepth, 0);
    EXPECT_TRUE(f.view.runButtonsEnabled);
}

TEST(CampaignRun, GroupsGoInBlindCopyUnmerged)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(45)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    f.setGroups(20);

    f.pressSend(false);

    ASSERT_TRUE(server.waitForMessages(3, 10s));
    const QList<AiosmtpdServer::Message> messages = server.messages();
    ASSERT_EQ(messages.size(), 3);
    const int sizes[] = {20, 20, 5};
    int next = 1;
    for (int i = 0; i < 3; ++i) {
        QStringList expected;
        for (int k = 0; k < sizes[i]; ++k)
            expected << QStringLiteral("persona%1@example.com").arg(next++);
        EXPECT_EQ(messages[i].rcptTos, expected);
        EXPECT_EQ(header(messages[i], QStringLiteral("To")), QStringLiteral("undisclosed-recipients:;"));
        EXPECT_EQ(header(messages[i], QStringLiteral("Subject")), QStringLiteral("Hola <<<Nom>>>"));
        EXPECT_FALSE(messages[i].data.contains("Bcc"));
    }
    EXPECT_EQ(f.marks(), QStringList(45, QStringLiteral("Si")));
    EXPECT_EQ(f.view.counts, QStringLiteral("45/45/45"));
}

TEST(CampaignRun, InvalidAndNullAddressesAreMarkedAtGatheringAndSkipped)
{
    CampaignRunFixture f;
    const QList<Recipient> rows = {
        {QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("a@example.com")},
        {QStringLiteral("B"), QStringLiteral("x"), QStringLiteral("sense-arrova")},
        {QStringLiteral("C"), QStringLiteral("x"), std::nullopt},
        {QStringLiteral("D"), QStringLiteral("x"), QStringLiteral("d@example.com")},
        {QStringLiteral("E"), QStringLiteral("x"), QStringLiteral("e\r\nRCPT TO:<x@example.com>@example.com")},
        {QStringLiteral("F"), QStringLiteral("x"), QStringLiteral("f@example.com")},
    };
    ASSERT_TRUE(f.createRecipients(rows));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    f.setGroups(2);

    f.pressSend(false);

    ASSERT_TRUE(server.waitForMessages(2, 10s));
    const QList<AiosmtpdServer::Message> messages = server.messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].rcptTos, (QStringList{QStringLiteral("a@example.com"), QStringLiteral("d@example.com")}));
    EXPECT_EQ(messages[1].rcptTos, QStringList{QStringLiteral("f@example.com")});
    EXPECT_EQ(f.marks(), (QStringList{QStringLiteral("Si"), QStringLiteral("No"), QStringLiteral("No"), QStringLiteral("Si"),
                                      QStringLiteral("No"), QStringLiteral("Si")}));
    EXPECT_EQ(f.campaign.grid().sentMarks(), QByteArray("SNNSNS "));
    EXPECT_EQ(f.view.counts, QStringLiteral("6/3/6"));
}

TEST(CampaignRun, RefusedRecipientsFailTheirMessagesAndTheRunGoesOn)
{
    CampaignRunFixture f;
    QList<Recipient> rows = numberedRecipients(5);
    rows[1].correu = QStringLiteral("rebutja@example.com");
    rows[3].correu = QStringLiteral("rebutja.tambe@example.com");
    ASSERT_TRUE(f.createRecipients(rows));
    AiosmtpdServer refusing({{}, {}, false, {QStringLiteral("rebutja")}});
    ASSERT_TRUE(refusing.start()) << refusing.errorText();
    f.prepare(refusing.port());

    f.pressSend(false);
    EXPECT_EQ(f.marks(), (QStringList{QStringLiteral("Si"), QStringLiteral("No"), QStringLiteral("Si"), QStringLiteral("No"),
                                      QStringLiteral("Si")}));
    EXPECT_EQ(f.view.counts, QStringLiteral("5/3/5"));
    EXPECT_EQ(refusing.messageCount(), 3);

    // A second run against a server that takes everyone sends only to the
    // rows not marked "Si", and counts only its own successes.
    AiosmtpdServer accepting;
    ASSERT_TRUE(accepting.start()) << accepting.errorText();
    f.campaign.settings().setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(accepting.port()));
    f.pressSend(false);
    ASSERT_TRUE(accepting.waitForMessages(2, 10s));
    const QList<AiosmtpdServer::Message> second = accepting.messages();
    ASSERT_EQ(second.size(), 2);
    EXPECT_EQ(second[0].rcptTos, QStringList{QStringLiteral("rebutja@example.com")});
    EXPECT_EQ(second[1].rcptTos, QStringList{QStringLiteral("rebutja.tambe@example.com")});
    EXPECT_EQ(f.marks(), QStringList(5, QStringLiteral("Si")));
    EXPECT_EQ(f.view.counts, QStringLiteral("5/2/5"));
}

TEST(CampaignRun, StopRequestEndsTheRunAfterTheCurrentGroup)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(6)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    f.setGroups(2);
    // A mark left from an earlier run on a row the stopped run never reaches.
    f.campaign.grid().markFailed(6);
    f.stopDuringMessage(1);

    f.pressSend(false);

    EXPECT_EQ(server.messageCount(), 1);
    EXPECT_EQ(f.marks(), (QStringList{QStringLiteral("Si"), QStringLiteral("Si"), QString(), QString(), QString(),
                                      QStringLiteral("No")}));
    EXPECT_EQ(f.view.messageTexts(),
              QStringList{QStringLiteral("Enviament aturat\nRegistres processats 2 de 6: 2 enviats, 0 no enviats")});
    EXPECT_EQ(f.view.counts, QStringLiteral("2/2/6"));
}

TEST(CampaignRun, TestSendGoesToTheSenderOnlyWithTheAttachments)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(3)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    const QString attachment = f.folder.filePath(QStringLiteral("condicions.txt"));
    {
        QFile file(attachment);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Condicions generals\n");
    }
    f.campaign.settings().setText(Setting::AttachmentList, attachment);
    f.campaign.grid().markFailed(2);
    const QByteArray marksBefore = f.campaign.grid().sentMarks();

    f.pressSend(true);

    ASSERT_TRUE(server.waitForMessages(1, 10s));
    const AiosmtpdServer::Message message = server.messages().first();
    EXPECT_EQ(message.rcptTos, QStringList{QStringLiteral("remitent@example.org")});
    EXPECT_EQ(header(message, QStringLiteral("Subject")), QStringLiteral("Hola <<<Nom>>>"));
    EXPECT_TRUE(message.data.contains("filename=\"condicions.txt\""));
    EXPECT_EQ(f.campaign.grid().sentMarks(), marksBefore);
    EXPECT_EQ(f.marks(), (QStringList{QString(), QStringLiteral("No"), QString()}));
    EXPECT_EQ(f.view.messageTexts(), QStringList{finished});
    EXPECT_FALSE(f.view.runProgressShown);
    EXPECT_EQ(f.view.questions, QStringList{QStringLiteral("Vols fer un enviament de prova abans de fer el definitiu?")});
}

TEST(CampaignRun, PausesBetweenGroupsButNotAfterTheLast)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(3)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    f.campaign.settings().setText(Setting::WaitSeconds, QStringLiteral("0.2"));
    QElapsedTimer clock;
    QList<qint64> marked;
    qint64 ended = -1;
    QObject::connect(f.run.get(), &CampaignRun::groupMarked, f.run.get(), [&](const RunCounts &) { marked << clock.elapsed(); });
    QObject::connect(f.run.get(), &CampaignRun::runFinished, f.run.get(), [&](const RunCounts &) { ended = clock.elapsed(); });
    clock.start();

    f.pressSend(false);

    ASSERT_EQ(marked.size(), 3);
    EXPECT_GE(marked[1] - marked[0], 195);
    EXPECT_GE(marked[2] - marked[1], 195);
    EXPECT_LT(ended - marked[2], 150) << "paused after the last rows";
    EXPECT_EQ(f.marks(), QStringList(3, QStringLiteral("Si")));
}

TEST(CampaignRun, SourceProblemsSendNothing)
{
    struct Case {
        const char *name;
        std::function<void(CampaignRunFixture &)> breakIt;
        QString message;
    };
    const QString changed =
        QStringLiteral("Els destinataris han canviat des que es van carregar: torna a triar el camp adreça");
    const Case cases[] = {
        {"a row added after the grid was filled",
         [](CampaignRunFixture &f) {
             QString error;
             ASSERT_TRUE(createSqliteDatabase(f.databasePath, {QStringLiteral("INSERT INTO Destinataris VALUES ('N', 'x', 'n@example.com')")}, error))
                 << error.toStdString();
         },
         changed},
        {"address field that names no field",
         [](CampaignRunFixture &f) { f.campaign.settings().setText(Setting::AddressField, QStringLiteral("Email")); },
         changed},
        {"statement that cannot be opened",
         [](CampaignRunFixture &f) {
             f.campaign.settings().setText(Setting::TableName, QStringLiteral("NoExisteix"));
         },
         QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CampaignRunFixture f;
        ASSERT_TRUE(f.createRecipients(numberedRecipients(2)));
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        f.prepare(server.port());
        c.breakIt(f);

        f.pressSend(false);

        EXPECT_EQ(server.messageCount(), 0);
        ASSERT_EQ(f.view.messages.size(), 1u);
        if (c.message.isEmpty())
            EXPECT_TRUE(f.view.messages[0].text.contains(QLatin1String("NoExisteix"))) << f.view.messages[0].text;
        else
            EXPECT_EQ(f.view.messages[0].text, c.message);
        EXPECT_EQ(f.view.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(f.marks(), QStringList(2, QString()));
        EXPECT_FALSE(f.campaign.isRunning());
        EXPECT_EQ(f.view.busyDepth, 0);
        EXPECT_TRUE(f.view.runButtonsEnabled);
    }
}

TEST(CampaignRun, EmptySourceStartsNothing)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients({}));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    f.view.answers = {Answer::No};
    f.run->pressSend();
    EXPECT_EQ(f.view.messageTexts(), QStringList{QStringLiteral("No hi ha cap destinatari per enviar")});
    EXPECT_EQ(f.view.questions.size(), 1);
    EXPECT_FALSE(f.view.runProgressShown);
    EXPECT_EQ(server.messageCount(), 0);
}

TEST(CampaignRun, InvalidCampaignStartsNothing)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(2)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    f.campaign.settings().setText(Setting::MessageSubject, QStringLiteral("  "));
    f.run->pressSend();
    EXPECT_EQ(f.view.messageTexts(), QStringList{QStringLiteral("L'assumpte és obligatori")});
    EXPECT_EQ(f.view.messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(f.view.questions.isEmpty());
    EXPECT_EQ(server.messageCount(), 0);
}

TEST(CampaignRun, APasswordInClearIsAskedAboutOnceAndNoStartsNothing)
{
    const QString testSendQuestion = QStringLiteral("Vols fer un enviament de prova abans de fer el definitiu?");
    struct Case {
        const char *name;
        ConnectionSecurity security;
        std::deque<Answer> answers;
        QStringList questions;
    };
    const Case cases[] = {
        {"no", ConnectionSecurity::Automatic, {Answer::No}, {unencryptedPasswordQuestion}},
        {"yes, then no test send and no run", ConnectionSecurity::None, {Answer::Yes, Answer::Cancel},
         {unencryptedPasswordQuestion, testSendQuestion}},
        {"inside TLS", ConnectionSecurity::StartTls, {Answer::Cancel}, {testSendQuestion}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CampaignRunFixture f;
        ASSERT_TRUE(f.createRecipients(numberedRecipients(2)));
        f.prepare(25);
        CampaignSettings &s = f.campaign.settings();
        // Never reached: every answer here stops before a message.
        s.setText(Setting::SmtpServer, QStringLiteral("smtp.exemple.cat"));
        s.setSecurity(c.security);
        s.setCheckValue(Check::NeedsLogin, 1);
        s.setText(Setting::LoginUser, QStringLiteral("usuari"));
        s.setText(Setting::LoginPassword, QStringLiteral("clau"));
        f.view.answers = c.answers;
        f.run->pressSend();
        EXPECT_EQ(f.view.questions, c.questions);
        EXPECT_EQ(f.view.calls.contains(QStringLiteral("question[no] ") + unencryptedPasswordQuestion),
                  c.questions.contains(unencryptedPasswordQuestion));
        EXPECT_TRUE(f.view.messages.empty()) << f.view.messageTexts().join(u'|').toStdString();
        EXPECT_FALSE(f.run->poSendMail());
    }
}

TEST(CampaignRun, WithoutAConnectionEveryMessageFails)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(2)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    f.connection.answerAlways({0, 0}); // off line, and dialling does not help

    f.pressSend(false);

    EXPECT_EQ(server.messageCount(), 0);
    EXPECT_EQ(f.view.messageTexts(), (QStringList{QStringLiteral("No hi ha connexio a Internet"),
                                                  QStringLiteral("No hi ha connexio a Internet"),
                                                  endOfRun(2, 2, 0, 2, {QStringLiteral("connexió: 2")})}));
    EXPECT_EQ(f.view.messages.back().icon, MessageIcon::Error);
    EXPECT_EQ(f.marks(), QStringList(2, QStringLiteral("No")));
    EXPECT_EQ(f.connection.calls.count(QStringLiteral("dial")), 2);
}

TEST(CampaignRun, AnEmptyPlaceholderIsNeverReplaced)
{
    CampaignSettings settings;
    settings.setText(Setting::FieldDelimiterLeft, QStringLiteral("  "));
    settings.setText(Setting::FieldDelimiterRight, QString());
    const RecordSnapshot record({QString(), QStringLiteral("Nom")}, {{QStringLiteral("-"), QStringLiteral("Anna")}});
    EXPECT_EQ(MergeFields(QStringLiteral("Hola Nom"), record, mergeDelimitersOf(settings)), QStringLiteral("Hola Anna"));
}

TEST(CampaignRun, MarksExactlyTheRowsItSentWhateverTheGridShowsMeanwhile)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(4)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    f.campaign.grid().markSent(1); // sent by an earlier run
    // The marks cleared while the first message of this run is out.
    bool cleared = false;
    f.run = std::make_unique<CampaignRun>(f.campaign, f.connection, [&f, &cleared] {
        auto mail = std::make_unique<clsEnviarCorreu>();
        QObject::connect(mail.get(), &clsEnviarCorreu::Progress, mail.get(), [&f, &cleared] {
            if (!std::exchange(cleared, true))
                ClearSentMarks(f.campaign);
        });
        return mail;
    });

    f.pressSend(false);

    ASSERT_TRUE(cleared);
    const QMap<QString, int> seen = deliveries(server);
    EXPECT_EQ(seen.keys(), (QStringList{QStringLiteral("persona2@example.com"), QStringLiteral("persona3@example.com"),
                                        QStringLiteral("persona4@example.com")}));
    EXPECT_EQ(seen.values(), QList<int>(3, 1));
    EXPECT_EQ(f.marks(), (QStringList{QString(), QStringLiteral("Si"), QStringLiteral("Si"), QStringLiteral("Si")}));
    EXPECT_EQ(f.view.counts, QStringLiteral("4/3/4"));
}

// The server takes a message at its end of data; by then every earlier group
// is in the journal on the disk and marked, so a crash costs at most the
// group in flight.
TEST(CampaignRun, EachGroupIsJournalledAndMarkedBeforeTheNextMessageEnds)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(6)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    f.setGroups(2);
    QList<std::pair<qsizetype, qsizetype>> atEndOfData; // rows marked, rows journalled
    f.run = std::make_unique<CampaignRun>(f.campaign, f.connection, [&f, &atEndOfData] {
        auto mail = std::make_unique<clsEnviarCorreu>();
        // Connected once the run has made its own connections, so that this
        // looks after the run has done what it does there.
        clsEnviarCorreu *component = mail.get();
        QObject::connect(component, &clsEnviarCorreu::Status, component, [&f, &atEndOfData, component, once = true]() mutable {
            if (!std::exchange(once, false))
                return;
            QObject::connect(component, &clsEnviarCorreu::AboutToEndData, component, [&f, &atEndOfData] {
                atEndOfData.append({f.campaign.grid().sentMarks().count('S'), readJournal(f.journalPath).sentAddresses.size()});
            });
        });
        return mail;
    });

    f.pressSend(false);

    EXPECT_EQ(server.messageCount(), 3);
    EXPECT_EQ(atEndOfData, (QList<std::pair<qsizetype, qsizetype>>{{0, 0}, {2, 2}, {4, 4}}));
    EXPECT_EQ(f.marks(), QStringList(6, QStringLiteral("Si")));
}

// In a group, a refused address is "No" with its server's reply; the others
// get the message and are "Si".
TEST(CampaignRun, OneRefusedAddressNoLongerSinksItsGroup)
{
    CampaignRunFixture f;
    QList<Recipient> rows = numberedRecipients(10);
    rows[3].correu = QStringLiteral("rebutja@example.com");
    ASSERT_TRUE(f.createRecipients(rows));
    AiosmtpdServer refusing({{}, {}, false, {QStringLiteral("rebutja")}});
    ASSERT_TRUE(refusing.start()) << refusing.errorText();
    f.prepare(refusing.port());
    f.setGroups(10);

    f.pressSend(false);

    ASSERT_EQ(refusing.messageCount(), 1);
    EXPECT_EQ(refusing.messages().first().rcptTos.size(), 9);
    QStringList marks(10, QStringLiteral("Si"));
    marks[3] = QStringLiteral("No");
    EXPECT_EQ(f.marks(), marks);
    const QString refusal = QStringLiteral("550 5.1.1 <rebutja@example.com>: Recipient address rejected");
    EXPECT_EQ(f.campaign.grid().failureReason(4), QStringLiteral("destinatari: ") + refusal);
    EXPECT_EQ(f.campaign.grid().cellText(4, f.campaign.grid().replyColumn()), refusal);
    const QStringList journal = journalRows(f.journalPath, true);
    ASSERT_EQ(journal.size(), 10);
    EXPECT_EQ(journal[3], QStringLiteral("4,rebutja@example.com,N,destinatari,%1,").arg(refusal));
    EXPECT_TRUE(journal[9].startsWith(QLatin1String("10,persona10@example.com,S,,250 2.0.0 Message accepted,<")))
        << journal[9];
    EXPECT_EQ(f.view.messageTexts(), QStringList{endOfRun(10, 10, 9, 1, {QStringLiteral("destinatari: 1")})});
    EXPECT_EQ(f.view.messages.back().icon, MessageIcon::Information);
}

// Nothing listens on the port: the run gives up after five messages rather
// than mark every row "No".
TEST(CampaignRun, ADeadPortStopsTheRunAfterFiveMessages)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(20)));
    f.prepare(freeTcpPort());

    f.pressSend(false);

    EXPECT_EQ(f.marks(), QStringList(maxUnreachedInARow, QStringLiteral("No")) + QStringList(20 - maxUnreachedInARow, QString()));
    QStringList lines = endOfRun(5, 20, 0, 5, {QStringLiteral("connexió: 5")}).split(u'\n');
    lines.insert(1, QStringLiteral("L'enviament s'ha aturat: 5 missatges seguits han fallat sense una resposta clara "
                                   "del servidor. Darrer motiu: connexió: Connexió rebutjada"));
    EXPECT_EQ(f.view.messageTexts(), QStringList{lines.join(u'\n')});
    EXPECT_EQ(f.view.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(journalRows(f.journalPath).size(), 5);
}

// Before a run the window reads the campaign's journal once: whoever it
// records as sent is spared, whatever the grid shows, and the window asks
// about the rows in doubt and about a journal of another campaign.
TEST(CampaignRunJournal, TheJournalDecidesAndTheWindowAsksAboutTheRest)
{
    const auto person = [](int n) { return QStringLiteral("persona%1@example.com").arg(n); };
    const QString other = QStringLiteral("00000000-0000-0000-0000-000000000001");
    const QString inDoubt = QStringLiteral("Un destinatari és en dubte: el servidor no va confirmar que hagués rebut el "
                                           "missatge, que potser li va arribar: persona1@example.com. Vols tornar-li a enviar?");
    const QString size = QStringLiteral("S'enviaran %1 missatges a %1 destinataris. Vols continuar?");
    const QString foreign = QStringLiteral("(another campaign's)");
    struct Case {
        QList<std::pair<QString, QString>> journal;
        std::deque<Answer> answers; // after No to the test send
        QStringList questions;      // after the test send's
        QList<int> delivered;
        const char *firstMark; // persona1's, after
    };
    const Case cases[] = {
        {{{"S", QStringLiteral(" PERSONA1@example.com")}, {"S", person(2)}}, {Answer::Yes},
         {QStringLiteral("S'enviaran 2 missatges a 2 destinataris (2 ja enviats segons el registre). Vols continuar?")},
         {3, 4}, "Si"},
        {{{"D", person(1)}}, {Answer::Yes, Answer::Yes}, {inDoubt, size.arg(4)}, {1, 2, 3, 4}, "Si"},
        {{{"D", person(1)}}, {Answer::No, Answer::Yes}, {inDoubt, size.arg(3)}, {2, 3, 4}, "Dubte"},
        {{{"campanya", other}, {"S", person(1)}}, {Answer::Yes, Answer::Yes}, {foreign, size.arg(4)}, {1, 2, 3, 4}, "Si"},
        {{{"campanya", other}, {"S", person(1)}}, {Answer::No}, {foreign}, {}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.questions.join(u'|').toStdString());
        CampaignRunFixture f;
        ASSERT_TRUE(f.createRecipients(numberedRecipients(4)));
        AiosmtpdServer server;
        ASSERT_TRUE(server.start()) << server.errorText();
        f.prepare(server.port());
        writeJournal(f.journalPath, c.journal);
        const QString aside = setAsideNameFor(f.journalPath);
        const JournalReading asWritten = readJournal(f.journalPath);
        f.view.answers = c.answers;
        f.view.answers.push_front(Answer::No);

        f.run->pressSend();

        EXPECT_EQ(f.view.questions.mid(1),
                  QStringList(c.questions).replaceInStrings(foreign, foreignJournalQuestion(asWritten, aside)));
        QStringList expected;
        for (const int row : c.delivered)
            expected << person(row);
        EXPECT_EQ(deliveries(server).keys(), expected);
        EXPECT_EQ(f.marks().first(), QString::fromUtf8(c.firstMark));
        if (c.questions.contains(foreign) && !c.delivered.isEmpty()) {
            EXPECT_TRUE(QFileInfo::exists(aside));
            EXPECT_EQ(readJournal(f.journalPath).campaigns, QStringList{f.campaign.campaignId()});
        }
    }
}

// An edit in the window during a run changes nothing of it: the settings
// were taken when it started.
TEST(CampaignRunJournal, ARunSendsWhatWasConfirmedWhateverIsEditedMeanwhile)
{
    CampaignRunFixture f;
    ASSERT_TRUE(f.createRecipients(numberedRecipients(3)));
    AiosmtpdServer server;
    ASSERT_TRUE(server.start()) << server.errorText();
    f.prepare(server.port());
    QObject::connect(f.run.get(), &CampaignRun::groupMarked, f.run.get(), [&f] {
        for (const Setting setting : {Setting::SenderAddress, Setting::SmtpServer, Setting::MessageSubject, Setting::BodyText})
            f.campaign.settings().setText(setting, QStringLiteral("x@127.0.0.1:1"));
        f.setGroups(2);
    });

    f.pressSend(false);

    ASSERT_TRUE(server.waitForMessages(3, 10s));
    for (const AiosmtpdServer::Message &message : server.messages()) {
        EXPECT_EQ(message.mailFrom, QStringLiteral("remitent@example.org"));
        EXPECT_TRUE(header(message, QStringLiteral("Subject")).startsWith(QLatin1String("Hola Persona")));
    }
    EXPECT_EQ(f.marks(), QStringList(3, QStringLiteral("Si")));
}

// A server that takes every message and closes before answering its end:
// five of them in a row stop the run, as a server out of reach does.
TEST(CampaignRunJournal, MessagesThatNeverGetTheirAnswerStopTheRunAfterFive)
{
    CampaignRunFixture f;
    const QList<Recipient> rows = numberedRecipients(7);
    ASSERT_TRUE(f.createRecipients(rows));
    ScriptedSmtpServer server;
    QString script;
    for (int i = 0; i < maxUnreachedInARow; ++i) {
        script += (i > 0 ? QStringLiteral("A:\n") : QString()) + script::greeting() + script::helo(QStringLiteral("example.org"))
            + script::envelope(QStringLiteral("remitent@example.org"), {*rows[i].correu})
            + QStringLiteral("C: DATA\nS: 354 Endavant\nD:\nX:\n");
    }
    server.addScript(script);
    ASSERT_TRUE(server.listen());
    f.prepare(server.port());

    f.pressSend(false);

    EXPECT_TRUE(server.waitForFinished(5s)) << server.verify();
    EXPECT_EQ(server.capturedData().size(), maxUnreachedInARow);
    EXPECT_EQ(f.view.counts, QStringLiteral("5/0/7"));
    EXPECT_TRUE(f.view.messageTexts().last().contains(QLatin1String("5 missatges seguits han fallat sense una resposta "
                                                                    "clara del servidor")))
        << f.view.messageTexts().last();
    EXPECT_EQ(journalRows(f.journalPath).size(), maxUnreachedInARow);
}
