#include "client_session.h"

#include "pending_errors.h"
#include "windows1252.h"

namespace tramelo {
namespace {

// A server that asks for more than this many answers in one login is
// refused: no mechanism we speak takes more than three.
constexpr int maxLoginChallenges = 8;

} // namespace

ClientSession::ClientSession(const SmtpSessionConfig &config, SmtpClientEvents &events, const StopSignal *stop)
    : m_config(config)
    , m_events(events)
    , m_stop(stop)
    , m_channel(stop)
{
}

std::optional<SmtpFailure> ClientSession::open()
{
    messagesStarted = 0;
    resetNeeded = false;
    m_offer = {};
    if (m_config.pop3) {
        if (std::optional<SmtpFailure> failure = logInToPop3(m_config, m_events, m_stop))
            return failure;
    }
    std::optional<SmtpFailure> failure = connect();
    if (!failure && m_config.security == SecurityMode::ImplicitTls)
        failure = shakeHands();
    if (!failure)
        failure = greet();
    if (!failure)
        failure = sayHello();
    if (!failure && m_config.security == SecurityMode::StartTls)
        failure = startTls();
    if (!failure && m_config.login)
        failure = logIn();
    if (failure && isOpen())
        quit();
    return failure;
}

std::optional<SmtpFailure> ClientSession::connect()
{
    m_events.sessionStep(SessionStep::Connecting);
    for (int attempt = 1; attempt <= m_config.connectAttempts; ++attempt) {
        const Transport::Status status =
            m_channel.transport().connect(m_config.host, m_config.port, deadlineAfter(connectTimeout()));
        if (status == Transport::Status::Ok)
            return std::nullopt;
        if (status != Transport::Status::TimedOut)
            return failureOf(m_channel.noteBreak(status), m_channel, SendStage::Connection);
    }
    return SmtpFailure{SendStage::Timeout, error_text::timeout, std::nullopt};
}

std::optional<SmtpFailure> ClientSession::shakeHands()
{
    if (!m_config.tls) {
        drop();
        return SmtpFailure{SendStage::Connection, QStringLiteral("TLS is not available: no TLS context was made"), {}};
    }
    const Transport::Status status =
        m_channel.transport().startTls(m_config.tls, m_config.host, m_config.port, deadlineAfter(connectTimeout()));
    if (status == Transport::Status::Ok)
        return std::nullopt;
    const QString expected = m_config.security == SecurityMode::ImplicitTls
        ? QStringLiteral(" (on this port the server may expect STARTTLS, or no TLS at all)")
        : QString();
    SmtpFailure failure = failureOf(m_channel.noteBreak(status), m_channel, SendStage::Connection);
    if (status == Transport::Status::Closed)
        failure = {SendStage::Connection,
                   QStringLiteral("The SMTP Host closed the connection during the TLS handshake") + expected, {}};
    else if (status == Transport::Status::Failed)
        failure.reason = QStringLiteral("The TLS handshake with the SMTP Host failed") + expected + QStringLiteral(": ")
            + failure.reason;
    // Nothing more goes to a server that could not be trusted.
    drop();
    return failure;
}

std::optional<SmtpFailure> ClientSession::greet()
{
    SmtpChannel::Reply reply;
    const SmtpChannel::Break broken = m_channel.read(reply, deadlineAfter(connectTimeout()));
    if (broken != SmtpChannel::Break::None)
        return failureOf(broken, m_channel, SendStage::Connection);
    if (reply.code != 220)
        return refusalOf(reply, SendStage::Connection);
    m_events.sessionStep(SessionStep::Greeted);
    return std::nullopt;
}

SmtpChannel::Break ClientSession::exchange(const QByteArray &command, SmtpChannel::Reply &reply,
                                           std::chrono::milliseconds timeout)
{
    const SmtpChannel::Break written = m_channel.write({command}, timeout);
    return written != SmtpChannel::Break::None ? written : m_channel.read(reply, deadlineAfter(timeout));
}

std::optional<SmtpFailure> ClientSession::sayHello()
{
    // Only the answer to EHLO lists the extensions.
    const bool extended = m_config.greeting == GreetingPolicy::Extended || m_config.login
        || m_config.security != SecurityMode::None;
    const QByteArray name = toWindows1252(m_config.greetingName);
    SmtpChannel::Reply reply;
    SmtpChannel::Break broken = exchange((extended ? "EHLO " : "HELO ") + name, reply, connectTimeout());
    const bool ehloRefused = extended && m_config.greeting == GreetingPolicy::Extended && reply.code >= 500
        && reply.code <= 599;
    if (broken == SmtpChannel::Break::None && ehloRefused)
        broken = exchange("HELO " + name, reply, connectTimeout());
    if (broken != SmtpChannel::Break::None)
        return failureOf(broken, m_channel, SendStage::Connection);
    if (reply.code != 250)
        return refusalOf(reply, SendStage::Connection);
    m_offer = extended && !ehloRefused ? server_reply::extensions(reply.text) : server_reply::Extensions{};
    return std::nullopt;
}

std::optional<SmtpFailure> ClientSession::startTls()
{
    // A server that does not offer it may be one whose offer was removed on
    // the way: the session does not go on in the clear.
    if (!m_offer.startTls) {
        return SmtpFailure{SendStage::Connection,
                           QStringLiteral("The SMTP Host did not offer STARTTLS, which this connection requires: "
                                          "nothing was sent unencrypted"),
                           {}};
    }
    m_events.sessionStep(SessionStep::StartingTls);
    SmtpChannel::Reply reply;
    const SmtpChannel::Break broken = exchange("STARTTLS", reply, connectTimeout());
    if (broken != SmtpChannel::Break::None)
        return failureOf(broken, m_channel, SendStage::Connection);
    if (reply.code != 220)
        return refusalOf(reply, SendStage::Connection);
    // What followed the 220 in the clear is dropped (RFC 3207, section 6):
    // read after the handshake, it would pass for the server's words inside
    // TLS. So is what it said before TLS: EHLO is asked again.
    m_channel.dropUnread();
    if (std::optional<SmtpFailure> failure = shakeHands())
        return failure;
    return sayHello();
}

std::optional<SmtpFailure> ClientSession::logIn()
{
    const bool encrypted = m_channel.transport().encrypted();
    const std::unique_ptr<LoginMechanism> mechanism =
        chooseLoginMechanism(m_offer, encrypted, m_config.credentials);
    if (!mechanism) {
        // Inside TLS the operator asked for a login that cannot happen; in
        // the clear (no security chosen) the session goes on without one.
        if (encrypted)
            return SmtpFailure{SendStage::Login, error_text::noLoginInsideTls, {}};
        m_events.sessionStep(SessionStep::LoginNotOffered);
        return std::nullopt;
    }
    m_events.sessionStep(SessionStep::LoggingIn);
    QList<QByteArray> lines = {mechanism->command()};
    for (int place = 1;; ++place) {
        SmtpChannel::Reply reply;
        SmtpChannel::Break broken = m_channel.write(lines, connectTimeout());
        if (broken == SmtpChannel::Break::None)
            broken = m_channel.read(reply, deadlineAfter(connectTimeout()));
        if (broken != SmtpChannel::Break::None)
            return failureOf(broken, m_channel, SendStage::Login);
        if (reply.code == 235) {
            m_events.sessionStep(SessionStep::LoggedIn);
            return std::nullopt;
        }
        if (reply.code != 334 || place > maxLoginChallenges)
            return refusalOf(reply, SendStage::Login);
        lines = mechanism->answer(reply.text, place);
    }
}

bool ClientSession::fitForNextMessage()
{
    return isOpen() && !m_channel.spokeUnasked();
}

void ClientSession::quit()
{
    if (!isOpen())
        return;
    m_events.sessionStep(SessionStep::Closing);
    // Whatever the server says now is taken as the answer, or nothing is.
    m_channel.dropUnread();
    SmtpChannel::Reply reply;
    if (m_channel.transport().write("QUIT\r\n", SmtpTimeouts::quit) == Transport::Status::Ok)
        m_channel.read(reply, deadlineAfter(SmtpTimeouts::quit));
    m_channel.close();
}

void ClientSession::drop()
{
    m_channel.close();
}

} // namespace tramelo
