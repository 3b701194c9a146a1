#pragma once

#include "aiosmtpd_server.h"
#include "body_preparation.h"
#include "campaign.h"
#include "clsEnviarCorreu.h"
#include "fake_campaign_view.h"
#include "fake_internet_connection.h"
#include "journal_rows.h"
#include "pre_run_checks.h"
#include "recipient_grid.h"
#include "recipient_source.h"
#include "run_driver.h"
#include "test_databases.h"

#include <QTemporaryDir>

#include <memory>

namespace tramelo::test {

// One recipient row of the test table Destinataris(Nom, Ciutat, Correu).
struct Recipient {
    QString nom;
    QString ciutat;
    std::optional<QString> correu;
};

inline QString sqlText(const std::optional<QString> &value)
{
    if (!value)
        return QStringLiteral("NULL");
    QString quoted = *value;
    quoted.replace(u'\'', QLatin1String("''"));
    return u'\'' + quoted + u'\'';
}

inline QList<Recipient> numberedRecipients(int count, const QString &domain = QStringLiteral("example.com"))
{
    QList<Recipient> rows;
    for (int i = 1; i <= count; ++i)
        rows.append({QStringLiteral("Persona %1").arg(i), QStringLiteral("Ciutat %1").arg(i),
                     QStringLiteral("persona%1@%2").arg(i).arg(domain)});
    return rows;
}

// The statements that make the table Destinataris of the rows, its names
// between the quotes of the database at hand.
inline QStringList recipientTable(const QList<Recipient> &rows, QChar quote = u'"')
{
    const auto quoted = [quote](const char *name) { return quote + QLatin1String(name) + quote; };
    QStringList statements{QStringLiteral("CREATE TABLE %1 (%2 TEXT, %3 TEXT, %4 TEXT)")
                               .arg(quoted("Destinataris"), quoted("Nom"), quoted("Ciutat"), quoted("Correu"))};
    for (const Recipient &row : rows)
        statements << QStringLiteral("INSERT INTO %1 VALUES (%2, %3, %4)")
                          .arg(quoted("Destinataris"), sqlText(row.nom), sqlText(row.ciutat), sqlText(row.correu));
    return statements;
}

// Every recipient address the server saw, with how often.
inline QMap<QString, int> deliveries(const AiosmtpdServer &server)
{
    QMap<QString, int> count;
    for (const AiosmtpdServer::Message &message : server.messages()) {
        for (const QString &address : message.rcptTos)
            ++count[address];
    }
    return count;
}

// The box that ends a definitive run: "Enviament finalitzat", the counts,
// then the rows not sent by stage ("destinatari: 2").
inline QString endOfRun(int processed, int total, int sent, int failed, const QStringList &byStage = {})
{
    const auto enviats = [](int count) { return count == 1 ? QStringLiteral("enviat") : QStringLiteral("enviats"); };
    const QString counts = QStringLiteral("Registres processats %1 de %2: %3 %4, %5 no %6")
                               .arg(processed)
                               .arg(total)
                               .arg(sent)
                               .arg(enviats(sent))
                               .arg(failed)
                               .arg(enviats(failed));
    return (QStringList{QStringLiteral("Enviament finalitzat"), counts} + byStage)
        .join(u'\n');
}

// A campaign over a SQLite table (or one of a database server), aimed at a real SMTP server on loopback,
// with a window that records what it was asked and a LAN that is always up.
// Its project path is set (the file is not written), so that its runs keep
// their journal beside it.
class CampaignRunFixture
{
public:
    QTemporaryDir folder;
    QString databasePath = folder.filePath(QStringLiteral("destinataris.sqlite"));
    // What the database box names: the SQLite file, or a server's connect string.
    QString databaseSource = databasePath;
    QString projectPath = folder.filePath(QStringLiteral("campanya.pcm"));
    QString journalPath = folder.filePath(QStringLiteral("campanya.enviaments.csv"));
    FakeCampaignView view;
    Campaign campaign{view};
    FakeInternetConnection connection;
    std::unique_ptr<CampaignRun> run;

    CampaignRunFixture() { connection.answerAlways({1, connectedThroughLan}); }

    bool createRecipients(const QList<Recipient> &rows)
    {
        QString error;
        const bool created = createSqliteDatabase(databasePath, recipientTable(rows), error);
        EXPECT_TRUE(created) << error.toStdString();
        return created;
    }

    // The campaign as an operator would prepare it: sender, server, the
    // table chosen, the address field chosen (which fills the grid), a typed body.
    void prepare(quint16 smtpPort)
    {
        CampaignSettings &s = campaign.settings();
        s.applyStartDefaults();
        s.setText(Setting::SenderAddress, QStringLiteral("remitent@example.org"));
        s.setText(Setting::SenderName, QStringLiteral("Remitent"));
        s.setText(Setting::SmtpServer, QStringLiteral("127.0.0.1:%1").arg(smtpPort));
        s.setText(Setting::DatabaseSource, databaseSource);
        OpenRecipientDatabase(campaign, true);
        s.setText(Setting::TableName, QStringLiteral("Destinataris"));
        LoadFieldList(campaign);
        s.setText(Setting::AddressField, QStringLiteral("Correu"));
        FillRecipientGrid(campaign);
        s.setText(Setting::MessageSubject, QStringLiteral("Hola <<<Nom>>>"));
        s.setBodyKind(BodyKind::Text);
        s.setText(Setting::BodySource, QStringLiteral("<p>Bon dia <<<Nom>>>, de <<<Ciutat>>></p>"));
        RefreshBodyPreview(campaign);
        campaign.setProjectPath(projectPath);
        run = std::make_unique<CampaignRun>(campaign, connection);
    }

    // The exit button pressed while the given message of the run is out.
    void stopDuringMessage(int message)
    {
        run = std::make_unique<CampaignRun>(campaign, connection, [this, message] {
            auto mail = std::make_unique<clsEnviarCorreu>();
            QObject::connect(mail.get(), &clsEnviarCorreu::Status, mail.get(),
                             [this, message, started = 0](const QString &status) mutable {
                                 if (status.startsWith(QLatin1String("Sending Sender")) && ++started == message)
                                     campaign.setStopRequested(true);
                             });
            return mail;
        });
    }

    void setGroups(int size)
    {
        campaign.settings().setCheckValue(Check::GroupSendings, 1);
        campaign.settings().setText(Setting::GroupSize, QString::number(size));
    }

    // Presses the send button and answers the test-send question; a
    // definitive run is then confirmed, its grouped placeholders accepted.
    void pressSend(bool testSend)
    {
        view.answers = testSend ? std::deque<Answer>{Answer::Yes} : std::deque<Answer>{Answer::No, Answer::Yes};
        if (!testSend && !unmergedPlaceholders(campaign).isEmpty())
            view.answers.push_back(Answer::Yes);
        run->pressSend();
    }

    QStringList marks() const
    {
        QStringList cells;
        for (int row = 1; row <= campaign.grid().dataRowCount(); ++row)
            cells << campaign.grid().markText(row);
        return cells;
    }
};

} // namespace tramelo::test
