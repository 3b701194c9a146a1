#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace tramelo {

class Campaign;
class InternetConnection;
class RecordSnapshot;
class clsEnviarCorreu;

// Where a run stands after a group was marked.
struct RunCounts {
    qint64 processed = 0; // rows stepped past
    qint64 sent = 0;      // rows marked "Si" by this run
    qint64 total = 0;     // rows of the source
};

// The counts as a run shows them: "processed/sent/total".
QString countsText(const RunCounts &counts);

// What the send button does: validation, the attachment list, the test-send
// question, then the test send or the definitive run, walking the recipient
// source in step with the grid, group by group, with the pause between
// sendings. It talks to the window only through the campaign's view, so whole
// campaigns also run headless.
class CampaignRun : public QObject
{
    Q_OBJECT
public:
    using MailFactory = std::function<std::unique_ptr<clsEnviarCorreu>()>;

    // The factory makes the mail component of each test send and run (a
    // plain one when empty).
    CampaignRun(Campaign &campaign, InternetConnection &connection, MailFactory mailFactory = {},
                QObject *parent = nullptr);
    ~CampaignRun() override;

    // cmbEnviar: a test send, a definitive run once the operator has
    // confirmed its size, or nothing.
    void pressSend();
    // The two outcomes of the question, with the attachment list built for them.
    void testSend(const QString &attachments);
    void run(const QString &attachments);

    clsEnviarCorreu *poSendMail() const { return m_poSendMail.get(); }

Q_SIGNALS:
    // After every group's marks, before the pause: the marks now say what the
    // server accepted.
    void groupMarked(const tramelo::RunCounts &counts);
    // "Enviament finalitzat" is about to be shown.
    void runFinished(const tramelo::RunCounts &counts);
    // The mail component reported a failure, with its explanation.
    void messageFailed(const QString &explanation);

private:
    struct Group;

    void runConfirmed(const QString &attachments);
    QString confirmationQuestion() const;
    void replaceMailComponent();
    void beginSending();
    void endSending();
    bool checkSourceMatchesGrid(const RecordSnapshot &records);
    Group gatherGroup(RecordSnapshot &records, qint64 processed, long long groupSize);
    bool sendGroup(RecordSnapshot &records, const Group &group, long long groupSize, const QString &attachments);
    void markGroup(const Group &group, bool success, RunCounts &counts);
    void pauseBetweenSendings();

    Campaign &m_campaign;
    InternetConnection &m_connection;
    MailFactory m_mailFactory;
    std::unique_ptr<clsEnviarCorreu> m_poSendMail;
    QTimer timerEsperar;
    bool m_waitOver = false;
    QString m_messageFailure; // the first reason the test send's message failed
};

} // namespace tramelo

Q_DECLARE_METATYPE(tramelo::RunCounts)
