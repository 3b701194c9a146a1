#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tramelo {

// The step of Send where a message that was not sent stopped.
enum class SendStage {
    Validation, // the checks before anything is sent, or a refused property value
    Connection, // connecting, the server's greeting, EHLO/HELO
    Login,      // AUTH LOGIN, or the POP3 login before SMTP
    Sender,     // MAIL FROM
    Recipient,  // RCPT TO
    Data,       // DATA, the message and the final "."
    Timeout,    // the server did not answer in time
};

struct RefusedRecipient {
    QString address;
    QString reply; // the server's reply to its RCPT TO, as received
};

// What the last Send came to, for a caller that needs more than its events.
struct SendOutcome {
    bool sent = false;
    SendStage stage = SendStage::Validation; // where it stopped, when not sent
    // The server's reply that decided the outcome (when sent, its answer to
    // the final "."), or the component's own text when no reply caused it.
    QString reply;
    bool senderAccepted = false; // the server accepted MAIL FROM
    // Recipients the server refused; when some were accepted, the message
    // went to those, and it was sent.
    QList<RefusedRecipient> refused;
    QString messageId; // "<...@...>", when sent
    // The code of the server's reply that decided the outcome, when a coded reply did.
    std::optional<int> replyCode = std::nullopt;
    // The whole message and its final "." were written and the server's answer
    // never came (time-out, connection closed, protocol error): it may have been taken.
    bool inDoubt = false;
};

} // namespace tramelo
