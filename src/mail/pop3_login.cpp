// The POP3 login before SMTP ("POP before SMTP"): USER, PASS and QUIT, each
// answered "+OK", within the connection time-out.
#include "client_session.h"

#include "server_reply.h"
#include "smtp_channel.h"
#include "windows1252.h"

namespace tramelo {

std::optional<SmtpFailure> logInToPop3(const SmtpSessionConfig &config, SmtpClientEvents &events,
                                       const StopSignal *stop)
{
    events.sessionStep(SessionStep::ConnectingPop3);
    SmtpChannel channel(stop);
    const std::chrono::milliseconds timeout = config.timeouts.connect;
    Transport::Status connected = Transport::Status::TimedOut;
    for (int attempt = 1; attempt <= config.connectAttempts && connected == Transport::Status::TimedOut; ++attempt)
        connected = channel.transport().connect(config.pop3->host, config.pop3->port, deadlineAfter(timeout));
    if (connected != Transport::Status::Ok && connected != Transport::Status::TimedOut)
        return failureOf(channel.noteBreak(connected), channel, SendStage::Login);

    const QList<QByteArray> commands = {"USER " + toWindows1252(config.credentials.user),
                                        "PASS " + toWindows1252(config.credentials.password), "QUIT"};
    const SmtpChannel::Clock::time_point deadline = deadlineAfter(timeout);
    for (qsizetype step = 0; connected == Transport::Status::Ok && step <= commands.size(); ++step) {
        SmtpChannel::Reply reply;
        const SmtpChannel::Break broken = channel.read(reply, deadline);
        if (broken == SmtpChannel::Break::Stopped)
            return failureOf(broken, channel, SendStage::Login);
        // A server that says nothing more is not waited for any longer.
        if (broken != SmtpChannel::Break::None)
            break;
        if (!server_reply::isPop3Positive(reply.text))
            return refusalOf(reply, SendStage::Login);
        if (step < commands.size() && channel.write({commands[step]}, timeout) != SmtpChannel::Break::None)
            break;
    }
    channel.close();
    events.sessionStep(SessionStep::Pop3LoggedIn);
    return std::nullopt;
}

} // namespace tramelo
