#include "smtp_channel.h"

#include "pending_errors.h"
#include "server_reply.h"
#include "windows1252.h"

namespace tramelo {
namespace {

// How many of the unasked bytes the failure shows.
constexpr qsizetype unaskedBytesShown = 200;

QByteArray commandLine(QByteArray line)
{
    line.replace('\r', ' ').replace('\n', ' ');
    return line + "\r\n";
}

QString unaskedText(const QByteArray &bytes)
{
    QByteArray shown = bytes.left(unaskedBytesShown);
    shown.replace('\r', ' ').replace('\n', ' ');
    return error_text::unexpectedReply + fromWindows1252(shown.trimmed());
}

} // namespace

SmtpChannel::SmtpChannel(const StopSignal *stop)
    : m_transport(stop)
{
}

SmtpChannel::Break SmtpChannel::noteBreak(Transport::Status status)
{
    switch (status) {
    case Transport::Status::Ok:
        return Break::None;
    case Transport::Status::TimedOut:
        m_breakText = error_text::timeout;
        return Break::TimedOut;
    case Transport::Status::Closed:
        m_breakText = error_text::timeout;
        return Break::Closed;
    case Transport::Status::Stopped:
        m_breakText = error_text::sendStopped;
        return Break::Stopped;
    case Transport::Status::Refused:
        m_breakText = m_transport.errorText();
        return Break::Refused;
    case Transport::Status::InputWaiting:
        return Break::Spoke;
    case Transport::Status::Failed:
        break;
    }
    m_breakText = m_transport.errorText();
    return Break::Failed;
}

bool SmtpChannel::spokeUnasked()
{
    if (m_reader.heldBytes() == 0 && !m_transport.inputWaiting())
        return false;
    QByteArray said = m_reader.takeHeld();
    m_transport.read(said, Clock::now());
    m_breakText = said.isEmpty() ? error_text::timeout : unaskedText(said);
    return true;
}

SmtpChannel::Break SmtpChannel::write(const QList<QByteArray> &lines, std::chrono::milliseconds timeout)
{
    if (spokeUnasked())
        return Break::Unasked;
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += commandLine(line);
    return noteBreak(m_transport.write(bytes, timeout));
}

SmtpChannel::Break SmtpChannel::writeData(QByteArrayView bytes, std::chrono::milliseconds idleTimeout)
{
    if (m_reader.heldBytes() > 0)
        return Break::Spoke;
    return noteBreak(m_transport.write(bytes, idleTimeout, true));
}

SmtpChannel::Break SmtpChannel::read(Reply &reply, Clock::time_point deadline)
{
    for (;;) {
        QByteArray text;
        switch (m_reader.next(text)) {
        case SmtpReplyReader::Result::Reply:
            reply = {text, server_reply::code(text)};
            return Break::None;
        case SmtpReplyReader::Result::TooLong:
            m_breakText = fromWindows1252(text);
            return Break::TooLong;
        case SmtpReplyReader::Result::NeedMore:
            break;
        }
        QByteArray received;
        const Transport::Status status = m_transport.read(received, deadline);
        if (status == Transport::Status::Ok) {
            m_reader.append(received);
            continue;
        }
        // The last words of a server that closed, even without a line end.
        if (status == Transport::Status::Closed && m_reader.heldBytes() > 0) {
            const QByteArray last = m_reader.takeHeld();
            reply = {last, server_reply::code(last)};
            return Break::None;
        }
        return noteBreak(status);
    }
}

void SmtpChannel::dropUnread()
{
    m_reader.clear();
    m_transport.dropInputWaiting();
}

void SmtpChannel::close()
{
    m_transport.close();
    m_reader.clear();
}

} // namespace tramelo
