#pragma once

#include "smtp_script.h"

#include <QStringList>

namespace tramelo::test {

// A scripted server for a campaign of six single messages, one session each
// in row order: it takes rows 1 and 6, refuses the recipients of rows 2 and
// 5 at RCPT TO (550), closes the connection instead of answering DATA for
// row 3, and refuses DATA for row 4 (554).
inline QString failingServerScript(const QString &sender, const QStringList &addresses)
{
    const QString domain = sender.section(u'@', 1);
    const QString mailFrom = QStringLiteral("C: MAIL FROM: <%1>\nS: 250 2.1.0 Ok\n").arg(sender);
    const QString accepted = QStringLiteral("250 2.1.5 Ok");
    const auto rcpt = [&addresses, &accepted](int row, const QString &reply) {
        const QString address = addresses[row - 1];
        const QString answer = reply == accepted ? reply : reply.arg(address);
        return QStringLiteral("C: RCPT TO: <%1>\nS: %2\n").arg(address, answer);
    };
    const QString refused = QStringLiteral("550 5.1.1 <%1>: Recipient address rejected");
    const QString opening = script::greeting() + script::helo(domain) + mailFrom;
    const QString next = QStringLiteral("A:\n");
    return opening + rcpt(1, accepted) + script::data() + script::quit() + next
        + opening + rcpt(2, refused) + script::quit() + next
        + opening + rcpt(3, accepted) + QStringLiteral("C: DATA\nX:\n") + next
        + opening + rcpt(4, accepted) + QStringLiteral("C: DATA\nS: 554 5.7.1 Transaction failed\n") + script::quit() + next
        + opening + rcpt(5, refused) + script::quit() + next
        + opening + rcpt(6, accepted) + script::data() + script::quit();
}

// The journal rows that campaign leaves, without times and Message-IDs.
inline QStringList failingServerJournal(const QStringList &addresses)
{
    const QString refused = QStringLiteral("550 5.1.1 <%1>: Recipient address rejected");
    return {
        QStringLiteral("1,%1,S,,250 2.0.0 Ok: queued").arg(addresses[0]),
        QStringLiteral("2,%1,N,destinatari,%2").arg(addresses[1], refused.arg(addresses[1])),
        QStringLiteral("3,%1,N,temps esgotat,Timeout occurred: The SMTP Host did not respond to the request").arg(addresses[2]),
        QStringLiteral("4,%1,N,dades,554 5.7.1 Transaction failed").arg(addresses[3]),
        QStringLiteral("5,%1,N,destinatari,%2").arg(addresses[4], refused.arg(addresses[4])),
        QStringLiteral("6,%1,S,,250 2.0.0 Ok: queued").arg(addresses[5]),
    };
}

} // namespace tramelo::test
