#pragma once

#include "row_outcome.h"

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

// Where a run stands after a group was marked.
struct RunCounts {
    qint64 processed = 0; // rows stepped past
    qint64 sent = 0;      // rows marked "Si" by this run
    qint64 total = 0;     // rows of the source
    qint64 failed = 0;    // rows marked "No" by this run
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
// its words in its number.
QString endOfRunCounts(const RunCounts &counts);

// A run stops by itself after this many messages in a row that failed
// before the server accepted the sender: the server cannot be reached, and
// every remaining row would fail the same way.
inline constexpr int maxUnreachedInARow = 5;

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

    // cmbEnviar: a test send, a definitive run once the operator has
    // confirmed its size, or nothing.
    void pressSend();
    // The two outcomes of the question, with the attachment list built for them.
    void testSend(const QString &attachments);
    void run(const QString &attachments);
    // The test send alone, after the same checks, without the question.
    void pressTestSend();
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

    // Validation and the unencrypted password's question passed: the attachment list.
    std::optional<QString> checkedAttachments();
    void runConfirmed(const QString &attachments);
    bool projectSavedForRun();
    QString confirmationQuestion() const;
    void replaceMailComponent();
    void beginSending();
    void endSending();
    bool checkSourceMatchesGrid(const RecordSnapshot &records);
    Group gatherGroup(RecordSnapshot &records, qint64 walked, long long groupSize);
    SendOutcome sendGroup(RecordSnapshot &records, const Group &group, long long groupSize,
                          const QString &attachments);
    void record(RunState &state, QList<RowOutcome> outcomes, qint64 rowsRead);
    void noteReachability(RunState &state, const SendOutcome &result);
    void showDurableMarks(RunState &state);
    void markRows(RunState &state, const QList<RowOutcome> &rows, qint64 rowsRead);
    void stopForJournal(RunState &state, const QString &failure);
    void showEndOfRun(const RunState &state);
    void pauseBetweenSendings();

    Campaign &m_campaign;
    InternetConnection &m_connection;
    MailFactory m_mailFactory;
    std::unique_ptr<clsEnviarCorreu> m_poSendMail;
    QTimer timerEsperar;
    bool m_waitOver = false;
    RunState *m_runState = nullptr; // during a definitive run
    int m_testSendRow = 0;
    QString m_testAddress;
};

} // namespace tramelo

Q_DECLARE_METATYPE(tramelo::RunCounts)
