#pragma once

#include "row_outcome.h"
#include "send_journal.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace tramelo {

class Campaign;
class InternetConnection;
class RecordSnapshot;
class clsEnviarCorreu;
struct RunSettings;

// Where a run stands after a group was marked.
struct RunCounts {
    qint64 processed = 0; // rows stepped past
    qint64 sent = 0;      // rows marked "Si" by this run
    qint64 total = 0;     // rows of the source
    qint64 failed = 0;    // rows marked "No" by this run
    qint64 inDoubt = 0;   // rows this run marked "Dubte", or left in doubt
    // The run stopped by itself on a fault (the server out of reach, the
    // journal's disk, the source), with rows left unvisited.
    bool stoppedOnFault = false;
    // It was asked to stop (by the operator, or by tramelo-run when the
    // project could not be saved), with rows left unvisited.
    bool stoppedOnRequest = false;
};

// The counts as a run shows them: "processed/sent/total".
QString countsText(const RunCounts &counts);
// How a run ended: "Enviament aturat" when it was asked to stop,
// "Enviament finalitzat" otherwise.
QString endOfRunHeadline(const RunCounts &counts);
// "Registres processats P de T: S enviats, F no enviats", each count with
// its words in its number, then ", D en dubte" when some are.
QString endOfRunCounts(const RunCounts &counts);

// A run stops by itself after this many messages in a row that failed
// without a clear answer of the server: before it accepted the sender, or
// with no coded refusal at all (no answer to the end of the message, a
// protocol error, a flood, a closed connection; a 421 counts too). The
// server cannot be reached, or cannot be trusted, and every remaining row
// would fail the same way. A refusal with a code, once the sender was
// accepted, ends the streak; so does a message sent.
inline constexpr int maxUnreachedInARow = 5;
bool countsTowardsStop(const SendOutcome &outcome);

// What the send button does: validation, the attachment list, the test-send
// question, then the test send or the definitive run, walking the recipient
// source in step with the grid, group by group, with the pause between
// sendings. It talks to the window only through the campaign's view, so whole
// campaigns also run headless.
//
// A campaign saved to a project file has its send journal: every group's
// rows are written to it as soon as the group has its outcome, and reach
// the disk (one sync per group, while the next group goes out) before its
// marks are shown and before the server can take the next message.
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

    // What a definitive run starts from, decided before it: the attachment
    // list, the campaign's journal read once (campaign_identity.h), and
    // whether the rows it records in doubt are sent again.
    struct Start {
        QString attachments;
        JournalReading journal;
        bool resendInDoubt = false;
    };

    // cmbEnviar: the checks, then a test send, a definitive run once the
    // operator has answered its questions and confirmed its size, or nothing.
    void pressSend();
    // The test send, with the attachment list built for it.
    void testSend(const QString &attachments);
    // The definitive run, asking nothing: every row the journal records as
    // sent is skipped, and so is every row in doubt unless start says to
    // send it again. The settings are taken once, here: an edit meanwhile
    // changes nothing of the run.
    void run(const Start &start);
    // The test send alone, after the same checks, without the question.
    void pressTestSend();
    // The window's "Aturar" (and exit button): a run stops after the message
    // in flight; a test send stops at once.
    void requestStop();
    // The grid row whose cells the next test sends merge, as the run would
    // for that row; 0 sends the message as typed.
    void setTestSendRow(int row) { m_testSendRow = row; }
    // Where the next test sends go: an address, or blank for the sender's.
    void setTestAddress(const QString &address) { m_testAddress = address; }

    clsEnviarCorreu *poSendMail() const { return m_poSendMail.get(); }

Q_SIGNALS:
    // A group's rows have just been marked, its journal rows being on the
    // disk: what became of each.
    void rowsMarked(const QList<tramelo::RowOutcome> &rows);
    // After every group's marks: the marks now say what the server accepted.
    // A group is marked once its journal rows are on the disk: at the latest
    // just before the next message's end of data, before a pause, and at the end.
    void groupMarked(const tramelo::RunCounts &counts);
    // The message of a group is about to go: the grid row of its first
    // member and its addresses.
    void sendingTo(int firstRow, const QStringList &addresses);
    // The pause between sendings has begun, for that long; it has ended.
    void pauseStarted(qint64 milliseconds);
    void pauseEnded();
    // The box that ends the run is about to be shown.
    void runFinished(const tramelo::RunCounts &counts);

private:
    struct Group;
    struct RunState;

    // The checks before sending and the unencrypted password's question
    // passed: the attachment list.
    std::optional<QString> checkedAttachments();
    bool placeholdersAccepted();
    void runConfirmed(const QString &attachments);
    bool projectSavedForRun();
    std::optional<JournalReading> journalForRun();
    void replaceMailComponent();
    void beginSending();
    void endSending();
    bool checkSourceMatchesGrid(const RecordSnapshot &records, const RunSettings &settings);
    Group gatherGroup(RecordSnapshot &records, qint64 walked, const RunSettings &settings, const Start &start);
    SendOutcome sendGroup(RecordSnapshot &records, const Group &group, const RunSettings &settings);
    void record(RunState &state, QList<RowOutcome> outcomes, qint64 rowsRead);
    void noteReachability(RunState &state, const SendOutcome &result);
    void showDurableMarks(RunState &state);
    void markRows(RunState &state, const QList<RowOutcome> &rows, qint64 rowsRead);
    void stopForJournal(RunState &state, const QString &failure);
    void showEndOfRun(const RunState &state);
    void pauseBetweenSendings(long long milliseconds);

    Campaign &m_campaign;
    InternetConnection &m_connection;
    MailFactory m_mailFactory;
    std::unique_ptr<clsEnviarCorreu> m_poSendMail;
    QTimer timerEsperar;
    bool m_waitOver = false;
    RunState *m_runState = nullptr; // during a definitive run
    int m_testSendRow = 0;
    bool m_testSending = false;
    QString m_testAddress;
};

} // namespace tramelo

Q_DECLARE_METATYPE(tramelo::RunCounts)
