#include "smtp_client.h"

#include "pending_errors.h"
#include "plain_text.h"
#include "server_reply.h"
#include "windows1252.h"

#include <utility>

namespace tramelo {
namespace {

// Message data leaves in writes of about this size: few system calls, and
// progress and a server that speaks are seen between them.
constexpr qsizetype dataWriteBytes = 64 * 1024;

bool isRefusal(std::optional<int> code)
{
    return code && *code >= 400 && *code <= 599;
}

// A refusal that ends the transaction, not the session (421 closes it).
bool refusesTransaction(std::optional<int> code)
{
    return isRefusal(code) && *code != 421;
}

// The stage of the envelope command at index (MAIL, the RCPTs, DATA).
SendStage stageOf(qsizetype index, qsizetype recipients)
{
    return index == 0 ? SendStage::Sender : index <= recipients ? SendStage::Recipient : SendStage::Data;
}

} // namespace

SmtpClient::SmtpClient(SmtpSessionConfig config, SmtpClientEvents *events, const StopSignal *stop)
    : m_config(std::move(config))
    , m_events(events ? *events : m_silent)
    , m_stop(stop)
{
}

SmtpClient::~SmtpClient()
{
    // Inside a message's data a QUIT would be data: that session is dropped.
    if (m_session && !m_held)
        m_session->quit();
}

bool SmtpClient::pipelined() const
{
    return m_config.pipelining && m_session && m_session->offer().pipelining;
}

std::vector<Delivery> SmtpClient::send(const Submission &submission)
{
    std::vector<Delivery> out;
    InFlight current{submission.id, submission.message, {}};
    if (!submission.message || submission.envelope.recipients.isEmpty()) {
        out.push_back(failed(current, {SendStage::Validation, QStringLiteral("No Recipient E-mail Address Specified"), {}}));
        return out;
    }
    if (!submission.message->failure().isEmpty()) {
        out.push_back(failed(current, {SendStage::Validation, submission.message->failure(), {}}));
        return out;
    }
    // The message held back leaves with this one's commands, unless its
    // session has carried its share.
    if (m_held && !(pipelined() && m_session->messagesStarted < m_config.messagesPerSession))
        endHeld(out);
    if (!m_held) {
        if (const std::optional<SmtpFailure> failure = readySession()) {
            out.push_back(failed(current, *failure));
            return out;
        }
    }
    if (pipelined())
        sendPipelined(std::move(current), submission.envelope, out);
    else
        sendStepByStep(std::move(current), submission.envelope, out);
    return out;
}

std::vector<Delivery> SmtpClient::finish()
{
    std::vector<Delivery> out;
    if (m_held)
        endHeld(out);
    return out;
}

std::vector<Delivery> SmtpClient::close()
{
    std::vector<Delivery> out = finish();
    if (m_session)
        m_session->quit();
    m_session.reset();
    return out;
}

std::optional<SmtpFailure> SmtpClient::readySession()
{
    // A session the server ended, or spoke on unasked, is replaced quietly:
    // a message never goes out in the leftovers of another.
    if (m_session && !m_session->fitForNextMessage())
        m_session.reset();
    if (m_session && m_session->resetNeeded) {
        SmtpChannel::Reply reply;
        const SmtpChannel::Break broken = m_session->exchange("RSET", reply, m_config.timeouts.reply);
        if (broken != SmtpChannel::Break::None || reply.code != 250)
            m_session.reset();
        else
            m_session->resetNeeded = false;
    }
    if (m_session)
        return std::nullopt;
    m_session = std::make_unique<ClientSession>(m_config, m_events, m_stop);
    std::optional<SmtpFailure> failure = m_session->open();
    if (failure)
        m_session.reset();
    return failure;
}

QByteArray SmtpClient::mailFrom(const Envelope &envelope, const MessageData &data) const
{
    const QByteArray sender = toWindows1252(envelope.sender);
    QByteArray line = "MAIL FROM: <" + sender + '>';
    if (m_session->offer().authParameter)
        line += " AUTH=" + sender;
    // RFC 6152: 8-bit data is announced to a server that offered to take it.
    if (m_session->offer().eightBitMime && data.eightBitMime)
        line += " BODY=8BITMIME";
    return line;
}

std::optional<SmtpFailure> SmtpClient::judgeEnvelopeReply(InFlight &current, const QStringList &recipients,
                                                         qsizetype index, const SmtpChannel::Reply &reply,
                                                         SessionFate &fate)
{
    const SendStage stage = stageOf(index, recipients.size());
    // 421, or a reply that answers nothing asked: the session is over.
    fate = SessionFate::Quit;
    if (stage == SendStage::Recipient) {
        const bool taken = reply.code == 250 || reply.code == 251;
        // After a refused MAIL a pipelined RCPT's answer only tells whether
        // the server keeps in step.
        if (!current.outcome.senderAccepted)
            return taken || isRefusal(reply.code) ? std::nullopt : std::optional(refusalOf(reply, stage));
        if (taken) {
            ++current.accepted;
            return std::nullopt;
        }
        if (refusesTransaction(reply.code)) {
            current.outcome.refused.append({recipients[index - 1], fromWindows1252(reply.text)});
            return std::nullopt;
        }
        return refusalOf(reply, stage);
    }
    if (reply.code == (stage == SendStage::Sender ? 250 : 354)) {
        current.outcome.senderAccepted = current.outcome.senderAccepted || stage == SendStage::Sender;
        return std::nullopt;
    }
    if (refusesTransaction(reply.code))
        fate = SessionFate::Reset;
    return refusalOf(reply, stage);
}

// Nobody left to send to: the message fails with the server's refusals.
std::optional<SmtpFailure> SmtpClient::everyRecipientRefused(const InFlight &current) const
{
    if (current.accepted > 0 || current.outcome.refused.isEmpty())
        return std::nullopt;
    QStringList replies;
    for (const RefusedRecipient &refused : current.outcome.refused)
        replies << refused.reply;
    return SmtpFailure{SendStage::Recipient, replies.join(crlf),
                       server_reply::code(toWindows1252(current.outcome.refused.last().reply))};
}

QList<QByteArray> SmtpClient::envelopeCommands(const Envelope &envelope, const MessageData &data) const
{
    QList<QByteArray> commands = {mailFrom(envelope, data)};
    for (const QString &recipient : envelope.recipients)
        commands << "RCPT TO: <" + toWindows1252(recipient) + '>';
    commands << "DATA";
    return commands;
}

void SmtpClient::sendStepByStep(InFlight current, const Envelope &envelope, std::vector<Delivery> &out)
{
    ClientSession &session = *m_session;
    ++session.messagesStarted;
    const MessageData &data = current.message->data(session.offer().eightBitMime);
    const QList<QByteArray> commands = envelopeCommands(envelope, data);
    const qsizetype recipients = envelope.recipients.size();
    SessionFate fate = SessionFate::Keep;
    for (qsizetype i = 0; i < commands.size(); ++i) {
        if (i == 0)
            m_events.messageStep(current.id, MessageStep::Sender);
        else if (i == 1)
            m_events.messageStep(current.id, MessageStep::Recipients);
        if (i == recipients + 1) {
            if (const std::optional<SmtpFailure> failure = everyRecipientRefused(current)) {
                out.push_back(failed(current, *failure));
                afterMessage(SessionFate::Reset);
                return;
            }
            m_events.messageStep(current.id, MessageStep::Data);
        }
        SmtpChannel::Reply reply;
        const SmtpChannel::Break broken = session.exchange(commands[i], reply, m_config.timeouts.reply);
        if (broken != SmtpChannel::Break::None) {
            out.push_back(failed(current, failureOf(broken, session.channel(), stageOf(i, recipients))));
            afterMessage(broken == SmtpChannel::Break::TimedOut ? SessionFate::Quit : SessionFate::Drop);
            return;
        }
        if (const std::optional<SmtpFailure> failure = judgeEnvelopeReply(current, envelope.recipients, i, reply, fate)) {
            out.push_back(failed(current, *failure));
            afterMessage(fate);
            return;
        }
    }
    if (const std::optional<SmtpFailure> failure = writeData(current)) {
        out.push_back(failed(current, *failure));
        afterMessage(SessionFate::Drop);
        return;
    }
    m_events.beforeEndOfData(current.id);
    SmtpChannel::Reply reply;
    SmtpChannel::Break broken = session.channel().write({"."}, m_config.timeouts.reply);
    if (broken == SmtpChannel::Break::None)
        broken = session.channel().read(reply, deadlineAfter(SmtpTimeouts::endOfData));
    out.push_back(judgeEndOfData(current, broken, reply, fate));
    afterMessage(fate);
}

void SmtpClient::sendPipelined(InFlight current, const Envelope &envelope, std::vector<Delivery> &out)
{
    ClientSession &session = *m_session;
    SmtpChannel &channel = session.channel();
    const MessageData &data = current.message->data(session.offer().eightBitMime);
    const QList<QByteArray> commands = envelopeCommands(envelope, data);
    QList<QByteArray> group;
    if (m_held) {
        m_events.beforeEndOfData(m_held->id);
        group << ".";
    }
    group += commands;
    m_events.messageStep(current.id, MessageStep::Sender);
    m_events.messageStep(current.id, MessageStep::Recipients);
    m_events.messageStep(current.id, MessageStep::Data);
    ++session.messagesStarted;
    SmtpChannel::Break broken = channel.write(group, m_config.timeouts.reply);

    if (broken == SmtpChannel::Break::Unasked && m_held) {
        // The server spoke while the message held back waited for its ".",
        // which it never got; this message goes on a new session.
        InFlight held = std::exchange(m_held, std::nullopt).value();
        out.push_back(failed(held, failureOf(broken, channel, SendStage::Data)));
        m_session.reset();
        if (const std::optional<SmtpFailure> failure = readySession()) {
            out.push_back(failed(current, *failure));
            return;
        }
        pipelined() ? sendPipelined(std::move(current), envelope, out) : sendStepByStep(std::move(current), envelope, out);
        return;
    }
    if (broken != SmtpChannel::Break::None) {
        if (m_held)
            out.push_back(failed(*m_held, failureOf(broken, channel, SendStage::Data), true));
        m_held.reset();
        out.push_back(failed(current, failureOf(broken, channel, SendStage::Sender)));
        afterMessage(SessionFate::Drop);
        return;
    }

    if (m_held) {
        InFlight held = std::exchange(m_held, std::nullopt).value();
        SmtpChannel::Reply reply;
        broken = channel.read(reply, deadlineAfter(SmtpTimeouts::endOfData));
        SessionFate fate = SessionFate::Keep;
        out.push_back(judgeEndOfData(held, broken, reply, fate));
        if (fate == SessionFate::Quit || fate == SessionFate::Drop) {
            // The session ends there: this message's commands go unanswered.
            out.push_back(failed(current, broken != SmtpChannel::Break::None ? failureOf(broken, channel, SendStage::Sender)
                                                                             : refusalOf(reply, SendStage::Sender)));
            afterMessage(SessionFate::Drop);
            return;
        }
    }

    // The envelope's replies, in the order of its commands.
    const qsizetype recipients = envelope.recipients.size();
    std::optional<SmtpFailure> failure;
    SessionFate fate = SessionFate::Keep;
    SmtpChannel::Reply dataReply;
    qsizetype answered = 0;
    for (; answered < commands.size(); ++answered) {
        SmtpChannel::Reply reply;
        broken = channel.read(reply, deadlineAfter(m_config.timeouts.reply));
        if (broken != SmtpChannel::Break::None)
            break;
        if (answered == recipients + 1 && !failure)
            failure = everyRecipientRefused(current);
        SessionFate replyFate = SessionFate::Keep;
        const std::optional<SmtpFailure> verdict = judgeEnvelopeReply(current, envelope.recipients, answered, reply, replyFate);
        if (verdict && !failure) {
            failure = verdict;
            fate = replyFate;
        }
        if (verdict && replyFate == SessionFate::Quit) {
            // A 421, or a reply out of step: the rest cannot be told apart.
            ++answered;
            break;
        }
        dataReply = reply;
    }
    if (answered < commands.size()) {
        if (!failure)
            failure = failureOf(broken, channel, stageOf(answered, recipients));
        out.push_back(failed(current, *failure));
        afterMessage(SessionFate::Drop);
        return;
    }
    if (failure) {
        // DATA was accepted for a transaction that has no recipient or no
        // sender: an empty message data ends it (RFC 2920, 3.1).
        if (dataReply.code == 354) {
            SmtpChannel::Reply ended;
            if (channel.write({"."}, m_config.timeouts.reply) != SmtpChannel::Break::None
                || channel.read(ended, deadlineAfter(m_config.timeouts.reply)) != SmtpChannel::Break::None)
                fate = SessionFate::Drop;
        }
        out.push_back(failed(current, *failure));
        afterMessage(fate == SessionFate::Keep ? SessionFate::Reset : fate);
        return;
    }
    if (const std::optional<SmtpFailure> dataFailure = writeData(current)) {
        out.push_back(failed(current, *dataFailure));
        afterMessage(SessionFate::Drop);
        return;
    }
    // Its "." leaves with the next message's commands, or with finish().
    m_held = std::move(current);
}

std::optional<SmtpFailure> SmtpClient::writeData(InFlight &current)
{
    SmtpChannel &channel = m_session->channel();
    const MessageData &data = current.message->data(m_session->offer().eightBitMime);
    // What the server said between its 354 and the data was not asked for.
    if (channel.spokeUnasked())
        return failureOf(SmtpChannel::Break::Unasked, channel, SendStage::Data);
    QByteArray buffer;
    qint64 written = 0;
    SmtpChannel::Break broken = SmtpChannel::Break::None;
    const auto flush = [&] {
        if (buffer.isEmpty() || broken != SmtpChannel::Break::None)
            return;
        broken = channel.writeData(buffer, m_config.timeouts.reply);
        written += buffer.size();
        buffer.clear();
        if (broken == SmtpChannel::Break::None)
            m_events.dataWritten(current.id, written, data.size);
    };
    for (const DataPiece &piece : data.pieces) {
        if (piece.part >= 0)
            m_events.partStarted(current.id, piece.part);
        if (!piece.file) {
            buffer += piece.bytes;
        } else {
            for (qint64 offset = 0; offset < piece.file->size() && broken == SmtpChannel::Break::None;) {
                QString unreadable;
                const qint64 before = buffer.size();
                if (!piece.file->read(offset, dataWriteBytes, buffer, unreadable))
                    return SmtpFailure{SendStage::Data, unreadable, {}};
                offset += buffer.size() - before;
                if (buffer.size() >= dataWriteBytes)
                    flush();
            }
        }
        if (buffer.size() >= dataWriteBytes)
            flush();
        if (broken != SmtpChannel::Break::None)
            break;
    }
    flush();
    if (broken == SmtpChannel::Break::Spoke) {
        // A server that speaks in the middle of the data is going away: what
        // it says is why.
        SmtpChannel::Reply reply;
        broken = channel.read(reply, deadlineAfter(m_config.timeouts.reply));
        if (broken == SmtpChannel::Break::None)
            return refusalOf(reply, SendStage::Data);
    }
    if (broken != SmtpChannel::Break::None)
        return failureOf(broken, channel, SendStage::Data);
    return std::nullopt;
}

void SmtpClient::endHeld(std::vector<Delivery> &out)
{
    InFlight held = std::exchange(m_held, std::nullopt).value();
    m_events.beforeEndOfData(held.id);
    SmtpChannel &channel = m_session->channel();
    // The session's last message: QUIT leaves with its ".".
    const bool last = m_session->messagesStarted >= m_config.messagesPerSession;
    if (last)
        m_events.sessionStep(SessionStep::Closing);
    SmtpChannel::Reply reply;
    SmtpChannel::Break broken = channel.write(last ? QList<QByteArray>{".", "QUIT"} : QList<QByteArray>{"."},
                                              m_config.timeouts.reply);
    if (broken == SmtpChannel::Break::None)
        broken = channel.read(reply, deadlineAfter(SmtpTimeouts::endOfData));
    SessionFate fate = SessionFate::Keep;
    out.push_back(judgeEndOfData(held, broken, reply, fate));
    if (last && fate != SessionFate::Drop) {
        SmtpChannel::Reply goodbye;
        channel.read(goodbye, deadlineAfter(SmtpTimeouts::quit));
        fate = SessionFate::Drop;
    }
    afterMessage(fate);
}

Delivery SmtpClient::judgeEndOfData(InFlight &current, SmtpChannel::Break broken, const SmtpChannel::Reply &reply,
                                    SessionFate &fate)
{
    if (broken == SmtpChannel::Break::Unasked) {
        // Its "." was never written.
        fate = SessionFate::Drop;
        return failed(current, failureOf(broken, m_session->channel(), SendStage::Data));
    }
    if (broken != SmtpChannel::Break::None) {
        // Written whole, and no answer: it may have been taken.
        fate = SessionFate::Drop;
        SmtpFailure failure = failureOf(broken, m_session->channel(), SendStage::Data);
        if (broken != SmtpChannel::Break::Stopped)
            failure.reason = error_text::noFinalReply;
        return failed(current, failure, true);
    }
    if (reply.code == 250) {
        fate = SessionFate::Keep;
        return sent(current, reply);
    }
    if (refusesTransaction(reply.code) || reply.code == 421) {
        fate = reply.code == 421 ? SessionFate::Quit : SessionFate::Reset;
        return failed(current, refusalOf(reply, SendStage::Data));
    }
    // Not an answer to the end of data: nobody can tell what the server did.
    fate = SessionFate::Drop;
    return failed(current, refusalOf(reply, SendStage::Data), true);
}

Delivery SmtpClient::sent(InFlight &current, const SmtpChannel::Reply &reply)
{
    SendOutcome &outcome = current.outcome;
    outcome.sent = true;
    outcome.reply = fromWindows1252(reply.text);
    outcome.replyCode = reply.code;
    outcome.messageId = current.message->messageId();
    return {current.id, std::move(outcome)};
}

Delivery SmtpClient::failed(InFlight &current, const SmtpFailure &failure, bool inDoubt)
{
    SendOutcome &outcome = current.outcome;
    outcome.sent = false;
    outcome.stage = failure.stage;
    // As the component has always reported its failures: each text ends in CR LF.
    outcome.reply = failure.reason + crlf;
    outcome.replyCode = failure.code;
    outcome.inDoubt = inDoubt;
    outcome.messageId.clear();
    return {current.id, std::move(outcome)};
}

void SmtpClient::afterMessage(SessionFate fate)
{
    if (!m_session)
        return;
    switch (fate) {
    case SessionFate::Keep:
        break;
    case SessionFate::Reset:
        m_session->resetNeeded = true;
        break;
    case SessionFate::Quit:
        m_session->quit();
        m_session.reset();
        return;
    case SessionFate::Drop:
        m_session.reset();
        return;
    }
    if (!m_held && m_session->messagesStarted >= m_config.messagesPerSession) {
        m_session->quit();
        m_session.reset();
    }
}

} // namespace tramelo
