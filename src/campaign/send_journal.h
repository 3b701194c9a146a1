#pragma once

#include "background_sync.h"
#include "row_outcome.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace tramelo {

// The send journal of a campaign: one CSV row per recipient per attempt,
// beside the project file (NAME.pcm gives NAME.enviaments.csv), appended by
// every definitive run, with a row that names the campaign it belongs to.
// Its format is described in docs/send-journal.md.
class SendJournal
{
public:
    SendJournal() = default;
    ~SendJournal();
    SendJournal(const SendJournal &) = delete;
    SendJournal &operator=(const SendJournal &) = delete;

    // Named after the project file exactly as written: NAME.pcm (that
    // suffix, in lower case) gives NAME.enviaments.csv, any other name
    // NAME.enviaments.csv after the whole name, so that "gener.pcm" and
    // "gener.PCM" never share a journal.
    static QString pathFor(const QString &projectPath);

    // Opens the journal for appending, creating it with its header row and
    // the row that names the campaign (when campaignId is not empty); the
    // file stays open until close(). A file that is not a send journal is
    // refused. Nothing on success, else why not, for the operator.
    std::optional<QString> open(const QString &path, const QString &campaignId = {});
    void close();
    bool isOpen() const { return m_descriptor >= 0; }

    // The rows of one group, written at once, so that a run killed after it
    // loses none of them; they reach the disk with the next makeDurable(),
    // or startMakingDurable() and finishMakingDurable().
    std::optional<QString> append(const QList<RowOutcome> &rows);
    // Everything appended so far on the disk (fdatasync).
    std::optional<QString> makeDurable();
    // The same on a thread of its own, while the caller goes on: started,
    // then whether it has finished without waiting, then waited for.
    void startMakingDurable();
    bool isMakingDurable() const { return m_sync.isPending(); }
    bool madeDurable() { return m_sync.isFinished(); }
    std::optional<QString> finishMakingDurable();
    bool hasRowsNotDurable() const { return m_appended != m_durable; }

    // "Esborrar les marques d'enviat": a row that records the decision, on
    // the disk before it returns. Nothing to do when there is no journal.
    static std::optional<QString> recordMarksCleared(const QString &path);
    // A journal written before journals named their campaign is adopted by
    // it: the row that names it, appended, on the disk before it returns.
    static std::optional<QString> recordCampaign(const QString &path, const QString &campaignId);

private:
    std::optional<QString> writeAll(const QByteArray &bytes);
    static std::optional<QString> appendRecord(const QString &path, const QStringList &fields);
    QString failure(const QString &reason) const;

    int m_descriptor = -1;
    QString m_path;
    // Appends so far, and how many of them the disk holds (or a sync under
    // way will, once finished).
    quint64 m_appended = 0;
    quint64 m_durable = 0;
    quint64 m_syncing = 0;
    BackgroundSync m_sync;
};

// What a journal says, read a row at a time: the addresses of its "S" rows
// after the last reset row, the addresses whose last row since then is "D"
// (in doubt) and not "S", and the campaigns its rows name.
struct JournalReading {
    // Foreign: readable, but of another campaign (or of none): nothing in it
    // tells who has been sent this one (campaign_identity.h).
    enum class Status { Absent, Read, Unreadable, Foreign };
    Status status = Status::Absent;
    QString path;
    QString reason; // why it cannot be read, or whose it is
    QSet<QString> sentAddresses; // as addressKey() gives them
    QHash<QString, QString> inDoubt; // addressKey() to why: "dades: ..."
    QStringList campaigns; // the identifiers it names, each once, in order
};
JournalReading readJournal(const QString &path);

// The file's fixed texts, in UTF-8.
namespace journal_format {
inline constexpr char header[] = "Data i hora,Fila,Adreça,Resultat,Etapa,Resposta,Message-ID";
inline constexpr int columnCount = 7;
inline constexpr char sentResult[] = "S";
inline constexpr char failedResult[] = "N";
// Older readers take a row that is neither "S" nor a reset for a row not
// sent: an "en dubte" row is one, and so is the row that names the campaign.
inline constexpr char inDoubtResult[] = "D";
inline constexpr char marksClearedStage[] = "marques esborrades";
// With an empty Resultat, and the campaign's identifier as the Resposta.
inline constexpr char campaignStage[] = "campanya";
} // namespace journal_format

// An address as the journal compares it: without blanks around it, in any
// letter case.
QString addressKey(const QString &address);

} // namespace tramelo
