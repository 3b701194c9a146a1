#pragma once

#include "server_reply.h"
#include "smtp_channel.h"
#include "smtp_failure.h"
#include "smtp_session_config.h"

#include <optional>

namespace tramelo {

class StopSignal;

// One SMTP session, opened in a straight line: the optional POP3 login, the
// connection attempts, TLS from the first byte or after STARTTLS, the
// greeting and EHLO or HELO, and the login. A session that asked for TLS
// and cannot have it ends there: nothing more is sent, least of all the
// login or a message.
class ClientSession
{
public:
    ClientSession(const SmtpSessionConfig &config, SmtpClientEvents &events, const StopSignal *stop);
    ClientSession(const ClientSession &) = delete;
    ClientSession &operator=(const ClientSession &) = delete;

    std::optional<SmtpFailure> open();
    // Open, and the server has said nothing since its last reply (a server
    // that ends an idle session says 421 and closes).
    bool fitForNextMessage();
    bool isOpen() { return m_channel.transport().isOpen(); }
    SmtpChannel &channel() { return m_channel; }
    const server_reply::Extensions &offer() const { return m_offer; }
    // A command and its reply, within the time-out.
    SmtpChannel::Break exchange(const QByteArray &command, SmtpChannel::Reply &reply, std::chrono::milliseconds timeout);
    // QUIT, its answer or 2 seconds, and closed.
    void quit();
    // Closed without a word: the dialogue can no longer be trusted.
    void drop();

    int messagesStarted = 0;
    bool resetNeeded = false; // its last transaction was refused: RSET first

private:
    std::optional<SmtpFailure> connect();
    std::optional<SmtpFailure> shakeHands();
    std::optional<SmtpFailure> greet();
    std::optional<SmtpFailure> sayHello();
    std::optional<SmtpFailure> startTls();
    std::optional<SmtpFailure> logIn();
    std::chrono::milliseconds connectTimeout() const { return m_config.timeouts.connect; }

    const SmtpSessionConfig &m_config;
    SmtpClientEvents &m_events;
    const StopSignal *m_stop;
    SmtpChannel m_channel;
    server_reply::Extensions m_offer;
};

// The POP3 login some servers want before SMTP: a failure only when the
// POP3 server refuses (-ERR) or cannot be reached; one that stays silent
// delays the session by the connection time-out, and the session goes on.
std::optional<SmtpFailure> logInToPop3(const SmtpSessionConfig &config, SmtpClientEvents &events,
                                       const StopSignal *stop);

} // namespace tramelo
