#pragma once

#include "internet_connection.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <optional>

namespace tramelo::test {

// Plays the connection-state answers a test lines up, one per query, and
// records every call in order ("query <host>", "dial", "hang up <handle>").
// A query nobody lined up fails the test and answers off line.
class FakeInternetConnection : public InternetConnection
{
public:
    std::deque<ConnectedState> answers;
    QStringList calls;
    quint32 dialledHandle = 7;

    // The same answer to every query from now on (a LAN, for a whole run).
    void answerAlways(ConnectedState state) { m_always = state; }

    ConnectedState connectedState(const QString &smtpHost) override
    {
        calls.append(QStringLiteral("query ") + smtpHost);
        if (!answers.empty()) {
            const ConnectedState answer = answers.front();
            answers.pop_front();
            return answer;
        }
        if (m_always)
            return *m_always;
        ADD_FAILURE() << "unexpected connection-state query";
        return {};
    }

    quint32 dial() override
    {
        calls.append(QStringLiteral("dial"));
        return dialledHandle;
    }

    void hangUp(quint32 handle) override { calls.append(QStringLiteral("hang up %1").arg(handle)); }

private:
    std::optional<ConnectedState> m_always;
};

} // namespace tramelo::test
