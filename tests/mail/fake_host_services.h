#pragma once

#include "host_services.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace tramelo::test {

// Host services played by the test: a fixed host name, a table of names that
// resolve, and an echo answered by a function (by default: the target
// answers with the data unchanged). Every call is recorded.
class FakeHostServices : public HostServices
{
public:
    struct EchoCall {
        IPv4Address target;
        QByteArray payload;
        std::chrono::milliseconds timeout;
    };

    QString hostName = QStringLiteral("fakehost");
    QHash<QString, IPv4Address> names;
    std::function<EchoReply(const EchoCall &)> answer = [](const EchoCall &call) {
        EchoReply reply;
        reply.status = echo_status::success;
        reply.replyAddress = call.target;
        reply.roundTripMs = 3;
        reply.data = call.payload;
        return reply;
    };

    int hostNameCalls = 0;
    QStringList resolvedNames;
    QList<EchoCall> echoCalls;

    QString localHostName() override
    {
        ++hostNameCalls;
        return hostName;
    }

    std::optional<IPv4Address> resolveIPv4(const QString &name) override
    {
        resolvedNames.append(name);
        const auto found = names.constFind(name);
        if (found == names.constEnd())
            return std::nullopt;
        return *found;
    }

    EchoReply echo(const IPv4Address &target, const QByteArray &payload, std::chrono::milliseconds timeout) override
    {
        echoCalls.append({target, payload, timeout});
        return answer(echoCalls.last());
    }
};

inline IPv4Address ipv4(quint8 a, quint8 b, quint8 c, quint8 d)
{
    return IPv4Address{{a, b, c, d}};
}

} // namespace tramelo::test
