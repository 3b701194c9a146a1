#pragma once

#include <QString>
#include <QStringList>

namespace tramelo {

// The component's ordered list of unique message texts. A text is its own key:
// adding one already present (compared without regard to case) changes nothing.
class PendingErrorList
{
public:
    void add(const QString &text);
    void remove(const QString &text);
    bool isEmpty() const { return m_entries.isEmpty(); }
    const QStringList &entries() const { return m_entries; }
    // Every entry followed by CR LF, in list order.
    QString explanation() const;
    void clear() { m_entries.clear(); }

private:
    QStringList m_entries;
};

// The texts the component records for refused values, a closed socket and
// the failures of a session.
namespace error_text {
inline const QString invalidBcc = QStringLiteral("Invalid Bcc: Recipient E-mail Address");
inline const QString invalidCc = QStringLiteral("Invalid Cc: Recipient E-mail Address");
inline const QString invalidRecipient = QStringLiteral("Missing or Invalid Recipient E-mail Address");
inline const QString invalidSender = QStringLiteral("Missing or Invalid Sender E-mail Address");
inline const QString invalidPop3Host = QStringLiteral("Invalid or Missing POP3 Host Name");
inline const QString invalidSmtpHost = QStringLiteral("Invalid or Missing SMTP Host Name");
inline const QString invalidPort = QStringLiteral("Invalid Remote Port");
inline const QString missingAttachment = QStringLiteral("The file you tried to attach does not exist");
inline const QString socketNotOpen = QStringLiteral("Socket not Open");
inline const QString timeout = QStringLiteral("Timeout occurred: The SMTP Host did not respond to the request");
inline const QString loginFailed = QStringLiteral("Host Login Failed!");
inline const QString unexpectedReply = QStringLiteral("Unexpected reply from the SMTP Host: "); // + the bytes, on one line, at most 200 of them
inline const QString noLoginInsideTls = QStringLiteral("The SMTP Host offers no login mechanism inside TLS");
inline const QString noFinalReply = QStringLiteral("No reply to the end of the message: it may have been delivered");
inline const QString sendStopped = QStringLiteral("Sending stopped");
} // namespace error_text

} // namespace tramelo
