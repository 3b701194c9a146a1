#include "query_control.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace tramelo {
namespace {

// The queries of the process. A stop cancels under the same lock that a
// call takes to begin and end, so that a query is never cancelled once its
// call has returned (SQLite would carry the interruption over to the next
// call), nor after its statement is gone.
struct Registry {
    std::mutex lock;
    std::vector<QueryCancellation *> queries;
    bool stopped = false;
};

Registry &registry()
{
    // Never destroyed: a stop may come from a thread while the process ends.
    static Registry *const instance = new Registry;
    return *instance;
}

} // namespace

QString queryTimedOutMessage(std::chrono::seconds limit)
{
    return endedQueryBeginning + QStringLiteral("ha superat el temps màxim de %1 s i s'ha aturat").arg(limit.count());
}

QString queryStoppedMessage()
{
    return endedQueryBeginning + QStringLiteral("s'ha aturat perquè s'ha demanat aturar el programa");
}

void stopRecipientQueries()
{
    Registry &r = registry();
    const std::lock_guard guard(r.lock);
    r.stopped = true;
    for (QueryCancellation *query : r.queries) {
        if (query->m_inCall) {
            query->m_cancelled = true;
            query->m_cancelCallInProgress();
        }
    }
}

QueryCancellation::QueryCancellation(std::function<void()> cancelCallInProgress)
    : m_cancelCallInProgress(std::move(cancelCallInProgress))
{
    Registry &r = registry();
    const std::lock_guard guard(r.lock);
    r.queries.push_back(this);
}

QueryCancellation::~QueryCancellation()
{
    Registry &r = registry();
    const std::lock_guard guard(r.lock);
    r.queries.erase(std::remove(r.queries.begin(), r.queries.end(), this), r.queries.end());
}

QueryCancellation::Call::Call(QueryCancellation &query, Kind kind)
    : m_query(query)
{
    Registry &r = registry();
    const std::lock_guard guard(r.lock);
    if (kind == Kind::Start && r.stopped) {
        m_query.m_cancelled = true;
        m_refused = true;
        return;
    }
    m_query.m_inCall = true;
}

QueryCancellation::Call::~Call()
{
    Registry &r = registry();
    const std::lock_guard guard(r.lock);
    m_query.m_inCall = false;
}

} // namespace tramelo
