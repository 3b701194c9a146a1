#pragma once

#include "background_sync.h"
#include "row_outcome.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace tramelo {

// The send journal of a campaign: one CSV row per recipient per attempt,
// beside the project file (NAME.pcm gives NAME.enviaments.csv), appended by
// every definitive run. Its format is described in docs/send-journal.md.
class SendJournal
{
public:
    SendJournal() = default;
    ~SendJournal();
    SendJournal(const SendJournal &) = delete;
    SendJournal &operator=(const SendJournal &) = delete;

    static QString pathFor(const QString &projectPath);

    // Opens the journal for appending, creating it with its header row; the
    // file stays open until close(). A file that is not a send journal is
    // refused. Nothing on success, else why not, for the operator.
    std::optional<QString> open(const QString &path);
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

private:
    std::optional<QString> writeAll(const QByteArray &bytes);
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

// What a journal says has been sent, read a row at a time: the addresses of
// its "S" rows after the last reset row.
struct JournalReading {
    enum class Status { Absent, Read, Unreadable };
    Status status = Status::Absent;
    QString reason; // why it cannot be read
    QSet<QString> sentAddresses; // as addressKey() gives them
};
JournalReading readJournal(const QString &path);

// The file's fixed texts, in UTF-8.
namespace journal_format {
inline constexpr char header[] = "Data i hora,Fila,Adreça,Resultat,Etapa,Resposta,Message-ID";
inline constexpr int columnCount = 7;
inline constexpr char sentResult[] = "S";
inline constexpr char failedResult[] = "N";
inline constexpr char marksClearedStage[] = "marques esborrades";
} // namespace journal_format

// An address as the journal compares it: without blanks around it, in any
// letter case.
QString addressKey(const QString &address);

} // namespace tramelo
