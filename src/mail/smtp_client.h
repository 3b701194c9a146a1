#pragma once

// The mail core's SMTP client: messages handed in one at a time, each
// outcome handed back as soon as the server's answer to it is read.
//
// The API. A run makes one SmtpClient from its fixed session settings and
// calls send() for each message (its envelope and its composed message,
// with an id of the caller's), then close(). send() returns the outcomes
// it learnt, in order: usually one, the previous message's. finish() ends
// the message held back, for a caller about to wait (a pause between
// sendings, a rate limit), so that no message waits half-sent:
//
//     SmtpClient client(config, &events, &stop);
//     for (each row) {
//         record(client.send({row.id, envelope, composer.compose(parts, links)}));
//         if (pause > 0) { record(client.finish()); wait(pause); }
//     }
//     record(client.close());
//
// Why pipelined this way. Where the server offers PIPELINING (RFC 2920)
// MAIL, the RCPTs and DATA leave in one write, and a message's final "."
// is held back until the next message comes, to leave in the same write as
// that message's MAIL, RCPTs and DATA: one round trip per message, the
// replies matched to the commands in order. Never across EHLO, STARTTLS or
// AUTH, which each wait for their reply; a session's last message (its
// quota reached) ends alone and QUIT follows. A server that does not offer
// it gets each command and waits for each reply, and nothing is held back.
// Whatever goes wrong, the client never sends a message a second time: a
// message whose "." was written and whose answer never came is "in doubt"
// (inDoubt) and is the caller's to decide; one whose "." was never written
// was not sent.
//
// The durability barrier. SmtpClientEvents::beforeEndOfData(id) runs just
// before a message's final "." is written, and by then every earlier
// message's outcome has been returned to the caller: a run that records
// outcomes as send() returns them and makes its journal durable there can
// lose at most the message in flight in a crash.
//
// No event loop: every wait is a bounded poll() on the calling thread, and
// a StopSignal raised from another thread ends it at once.

#include "client_session.h"
#include "composed_message.h"
#include "send_outcome.h"
#include "smtp_session_config.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace tramelo {

class StopSignal;

struct Envelope {
    QString sender;
    QStringList recipients; // To, Cc and Bcc alike
};

struct Submission {
    quint64 id = 0; // the caller's, given back with the outcome
    Envelope envelope;
    std::shared_ptr<const ComposedMessage> message;
};

struct Delivery {
    quint64 id = 0;
    SendOutcome outcome;
};

class SmtpClient
{
public:
    explicit SmtpClient(SmtpSessionConfig config, SmtpClientEvents *events = nullptr, const StopSignal *stop = nullptr);
    // A message still held back is not ended (it was not sent); the session
    // ends with QUIT.
    ~SmtpClient();
    SmtpClient(const SmtpClient &) = delete;
    SmtpClient &operator=(const SmtpClient &) = delete;

    std::vector<Delivery> send(const Submission &submission);
    // Ends the message held back, if any.
    std::vector<Delivery> finish();
    // finish(), then QUIT.
    std::vector<Delivery> close();
    bool holdsMessage() const { return m_held.has_value(); }

private:
    struct InFlight {
        quint64 id = 0;
        std::shared_ptr<const ComposedMessage> message;
        SendOutcome outcome;
        int accepted = 0; // recipients the server took
    };
    // What becomes of the session after a message: kept as it is, kept
    // after an RSET, ended with QUIT, or dropped without a word.
    enum class SessionFate { Keep, Reset, Quit, Drop };

    std::optional<SmtpFailure> readySession();
    void sendStepByStep(InFlight current, const Envelope &envelope, std::vector<Delivery> &out);
    void sendPipelined(InFlight current, const Envelope &envelope, std::vector<Delivery> &out);
    QList<QByteArray> envelopeCommands(const Envelope &envelope, const MessageData &data) const;
    std::optional<SmtpFailure> judgeEnvelopeReply(InFlight &current, const QStringList &recipients, qsizetype index,
                                                  const SmtpChannel::Reply &reply, SessionFate &fate);
    std::optional<SmtpFailure> everyRecipientRefused(const InFlight &current) const;
    std::optional<SmtpFailure> writeData(InFlight &current);
    void endHeld(std::vector<Delivery> &out);
    Delivery judgeEndOfData(InFlight &current, SmtpChannel::Break broken, const SmtpChannel::Reply &reply,
                            SessionFate &fate);
    Delivery sent(InFlight &current, const SmtpChannel::Reply &reply);
    Delivery failed(InFlight &current, const SmtpFailure &failure, bool inDoubt = false);
    void afterMessage(SessionFate fate);
    QByteArray mailFrom(const Envelope &envelope, const MessageData &data) const;
    bool pipelined() const;

    SmtpSessionConfig m_config;
    SmtpClientEvents m_silent;
    SmtpClientEvents &m_events;
    const StopSignal *m_stop;
    std::unique_ptr<ClientSession> m_session;
    std::optional<InFlight> m_held;
};

} // namespace tramelo
