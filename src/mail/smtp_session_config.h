#pragma once

#include "login_mechanisms.h"
#include "transport_security.h"

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <memory>
#include <optional>

namespace tramelo {

class TlsContext;

// How long each stage of the dialogue may take.
struct SmtpTimeouts {
    // Each connection attempt, the greeting, EHLO or HELO, STARTTLS and its
    // handshake, the login (the component's ConnectTimeout).
    std::chrono::seconds connect{30};
    // MAIL, RCPT, DATA and RSET, and a stall while the message data is
    // written (the component's MessageTimeout).
    std::chrono::seconds reply{60};
    // RFC 5321, 4.5.3.2.6: the server may take this long to answer the
    // final "."; giving up earlier makes duplicates.
    static constexpr std::chrono::minutes endOfData{10};
    // The answer to QUIT, which nothing depends on.
    static constexpr std::chrono::seconds quit{2};
};

// Which greeting a session opens with.
enum class GreetingPolicy {
    // EHLO only when a login or TLS needs the server's extensions, HELO
    // otherwise: the dialogue the mail component has always spoken.
    AsNeeded,
    // EHLO always, to learn PIPELINING and 8BITMIME; HELO when the server
    // refuses EHLO with a 5xx reply.
    Extended,
};

// A POP3 login before each SMTP session, with the session's credentials.
struct Pop3BeforeSmtp {
    QString host;
    quint16 port = 110;
};

// Everything a session needs, fixed for a run.
struct SmtpSessionConfig {
    QString host;
    quint16 port = 25;
    SecurityMode security = SecurityMode::None;
    // Made once for the run; needed unless security is None.
    std::shared_ptr<TlsContext> tls;
    bool login = false;
    Credentials credentials;
    std::optional<Pop3BeforeSmtp> pop3;
    GreetingPolicy greeting = GreetingPolicy::Extended;
    QString greetingName; // what follows EHLO or HELO: the sender's domain
    SmtpTimeouts timeouts;
    int connectAttempts = 4;
    // A session carries this many messages; then QUIT, and another.
    int messagesPerSession = 100;
    // Pipelining (RFC 2920) where the server offers it.
    bool pipelining = true;
};

// The steps of opening and closing a session, for status lines.
enum class SessionStep {
    ConnectingPop3,
    Pop3LoggedIn,
    Connecting,
    Greeted,
    StartingTls,
    LoggingIn,
    LoggedIn,
    LoginNotOffered,
    Closing,
};

// The steps of one message on its session.
enum class MessageStep { Sender, Recipients, Data };

// What the client tells its caller while it works; every call comes on the
// thread that called the client.
class SmtpClientEvents
{
public:
    virtual ~SmtpClientEvents() = default;
    virtual void sessionStep(SessionStep) {}
    virtual void messageStep(quint64 /*message*/, MessageStep) {}
    // The part of the composed message that carries file `part` begins.
    virtual void partStarted(quint64 /*message*/, int /*part*/) {}
    virtual void dataWritten(quint64 /*message*/, qint64 /*written*/, qint64 /*total*/) {}
    // The message's data is written and its final "." is next: whatever
    // must be done before the server may take the message is done here
    // (a run makes its journal durable). The outcomes of every earlier
    // message have been handed out before.
    virtual void beforeEndOfData(quint64 /*message*/) {}
};

} // namespace tramelo
