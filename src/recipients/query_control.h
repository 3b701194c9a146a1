#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>

namespace tramelo {

// How long one call into a recipient database may take: running a query,
// or reading its next row. A query still running then is ended, on the
// server too, and the operator is told.
inline constexpr std::chrono::seconds recipientQueryTimeLimit{60};

// What the operator is told when a query was ended by the time limit, or
// by a stop; both begin alike.
inline const QString endedQueryBeginning = QStringLiteral("La consulta a la base de dades ");
QString queryTimedOutMessage(std::chrono::seconds limit);
QString queryStoppedMessage();

// Stops the recipient queries of this process, from any thread (the
// thread that waits for a terminal's Ctrl-C, while the one that runs the
// campaign is held inside a driver): every call into a database in
// progress is cancelled, on the server too, and every query that would
// start afterwards is refused. The rows of queries already open can still
// be read. It lasts for the rest of the process: for a program that is
// ending.
void stopRecipientQueries();

// One query of a recipient database, as a stop sees it, for the life of
// its statement: the engine's own way of cancelling a call in progress
// (SQLCancel, sqlite3_interrupt), used only while a call is in progress.
class QueryCancellation
{
public:
    explicit QueryCancellation(std::function<void()> cancelCallInProgress);
    ~QueryCancellation();
    QueryCancellation(const QueryCancellation &) = delete;
    QueryCancellation &operator=(const QueryCancellation &) = delete;

    // Whether a stop reached the query: it was cancelled during a call, or
    // refused before it started.
    bool cancelled() const { return m_cancelled.load(); }

    // A call into the driver, for the life of the object. The call that
    // starts the query is refused after a stop: the caller then makes no
    // call at all.
    class Call
    {
    public:
        enum class Kind { Start, Continue };
        Call(QueryCancellation &query, Kind kind);
        ~Call();
        Call(const Call &) = delete;
        Call &operator=(const Call &) = delete;
        bool refused() const { return m_refused; }

    private:
        QueryCancellation &m_query;
        bool m_refused = false;
    };

private:
    friend void stopRecipientQueries();

    std::function<void()> m_cancelCallInProgress;
    bool m_inCall = false; // guarded by the registry's lock
    std::atomic<bool> m_cancelled{false};
};

} // namespace tramelo
