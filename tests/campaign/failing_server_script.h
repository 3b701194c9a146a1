#pragma once

#include "smtp_script.h"

#include <QStringList>

namespace tramelo::test {

// A scripted server for a campaign of six single messages, which share a
// session until the server ends it: it takes rows 1 and 6, refuses the
// recipients of rows 2 and 5 (550), closes the connection instead of
// answering DATA for row 3, and refuses DATA for row 4 (554). It closes the
// connection after every refusal, so the next message opens a new session
// whatever the client would have said after it.
inline QString failingServerScript(const QString &sender, const QStringList &to)
{
    const auto message = [&](int row, const char *rcptReply, const QString &rest) {
        return QStringLiteral("C: MAIL FROM: <%1>\nS: 250 Ok\nC: RCPT TO: <%2>\nS: %3\n")
                   .arg(sender, to[row - 1], QString::fromLatin1(rcptReply).replace(QLatin1String("%1"), to[row - 1]))
            + rest;
    };
    const QString session = script::greeting() + script::helo(sender.section(u'@', 1));
    const QString closed = QStringLiteral("X:\nA:\n") + session;
    const char *refused = "550 5.1.1 <%1>: Recipient address rejected";
    return session + message(1, "250 Ok", script::data()) + message(2, refused, closed)
        + message(3, "250 Ok", QStringLiteral("C: DATA\n") + closed)
        + message(4, "250 Ok", QStringLiteral("C: DATA\nS: 554 5.7.1 Transaction failed\n") + closed)
        + message(5, refused, closed) + message(6, "250 Ok", script::data() + script::quit());
}

// The journal rows that campaign leaves, without times and Message-IDs.
inline QStringList failingServerJournal(const QStringList &to)
{
    const QString refused = QStringLiteral("N,destinatari,550 5.1.1 <%1>: Recipient address rejected");
    return {QStringLiteral("1,%1,S,,250 2.0.0 Ok: queued").arg(to[0]),
            QStringLiteral("2,%1,").arg(to[1]) + refused.arg(to[1]),
            QStringLiteral("3,%1,N,temps esgotat,Temps esgotat: el servidor SMTP no ha respost").arg(to[2]),
            QStringLiteral("4,%1,N,dades,554 5.7.1 Transaction failed").arg(to[3]),
            QStringLiteral("5,%1,").arg(to[4]) + refused.arg(to[4]),
            QStringLiteral("6,%1,S,,250 2.0.0 Ok: queued").arg(to[5])};
}

} // namespace tramelo::test
