// Send: the checks, the envelope, the header block, the body, the files and
// the final ".", written to the socket piece by piece while the session is open.
#include "clsEnviarCorreu.h"

#include "component_support.h"
#include "header_encoding.h"
#include "plain_text.h"
#include "windows1252.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSslSocket>

#include <algorithm>
#include <utility>

namespace tramelo {
namespace {

void resizeList(QStringList &list, qsizetype size)
{
    list.resize(size);
}

// Milliseconds since 1970 and 64 random bits: unique without keeping a count.
QString randomMessageIdPart()
{
    return QString::number(QDateTime::currentMSecsSinceEpoch(), 36) + u'.'
        + QStringLiteral("%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QChar(u'0'));
}

// The sender's domain, when it can stand after the "@" of a Message-ID.
QString messageIdDomain(const QString &from)
{
    static const QRegularExpression dotAtom(QStringLiteral("^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*$"));
    const QString domain = from.section(u'@', -1);
    return from.contains(u'@') && dotAtom.match(domain).hasMatch() ? domain : QStringLiteral("localhost");
}

} // namespace

void clsEnviarCorreu::Send()
{
    const QScopedValueRollback operation(m_inOperation, true);
    const QScopedValueRollback sending(m_sending, true);
    m_outcome = {};
    m_transactionRefused = false;
    m_failureNoted = false;
    m_timeoutReported = false;
    m_failureCode.reset();
    m_finalReplyOwed = false;
    m_stopRequested = false;
    m_stopReported = false;
    m_step = SendStage::Validation;
    transmit();
    if (!m_outcome.sent && !m_failureNoted)
        noteEndWithoutEvent();
    if (!m_outcome.sent)
        m_outcome.messageId.clear();
    m_stopRequested = false;
    m_stopReported = false;
}

void clsEnviarCorreu::AbortSend()
{
    // Seen by the wait in progress, which ends the Send.
    if (m_sending)
        m_stopRequested = true;
}

void clsEnviarCorreu::transmit()
{
    const qsizetype attachmentCount = m_attachmentPaths.size();
    const bool multipart = m_EncodeType == 0 && attachmentCount >= 1;
    bool related = false;

    if (m_from.isEmpty())
        AddError(error_text::invalidSender);
    if (m_AsHTML && m_EncodeType == 1)
        AddError(QStringLiteral("Sending HTML requires MIME encoding"));
    if (m_Recipient.isEmpty() && m_CcRecipient.isEmpty() && m_BccRecipient.isEmpty())
        AddError(QStringLiteral("No Recipient E-mail Address Specified"));
    if (m_Recipient.size() + m_CcRecipient.size() + m_BccRecipient.size() > 100)
        AddError(QStringLiteral("Too many recipients"));

    if (!m_Recipient.isEmpty())
        resizeList(m_RecipientDisplayName, m_Recipient.size());
    if (!m_CcRecipient.isEmpty())
        resizeList(m_CcDisplayName, m_CcRecipient.size());

    if (!m_pendingErrors.isEmpty()) {
        ReportFailure();
        return;
    }
    if (attachmentCount != 0)
        related = LinkEmbeddedFiles();
    m_sizeEstimate = EstimateSize();
    m_flags.abort = false;
    m_step = SendStage::Connection;
    if (!openOrReuseSession())
        return;

    // The empty first line of the body and the line ends after it go in the
    // body's own form too.
    const EncodedBody body = encodeBody(crlf + m_Message + crlf + crlf + crlf, m_eightBit, bodyChannel());
    m_bytesSent = 0;
    m_step = SendStage::Sender;
    Q_EMIT Status(QStringLiteral("Sending Sender Information..."));
    QString mailFrom = QStringLiteral("MAIL FROM: <") + m_from + u'>';
    if (m_flags.authParameter)
        mailFrom += QStringLiteral(" AUTH=") + m_from;
    // RFC 6152: 8-bit data is announced to a server that offered to take it.
    if (m_flags.eightBitMimeOffered && body.isEightBitUtf8())
        mailFrom += QStringLiteral(" BODY=8BITMIME");
    if (!sendCommandAndWait(mailFrom, &SessionFlags::reply, m_MessageTimeout))
        return;
    m_outcome.senderAccepted = true;

    m_step = SendStage::Recipient;
    Q_EMIT Status(QStringLiteral("Sending Recipient Information..."));
    QString toList;
    QString ccList;
    qsizetype accepted = 0;
    const auto addRecipients = [&](const QStringList &addresses, const QStringList &names, QString *headerList) {
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            const QString address = withoutLineBreaks(addresses[i]);
            const RecipientAnswer answer = sendRecipient(address);
            if (answer == RecipientAnswer::Failed)
                return false;
            accepted += answer == RecipientAnswer::Accepted ? 1 : 0;
            if (!headerList)
                continue;
            const QString name = i < names.size() ? names[i] : QString();
            *headerList += EncodeHeaderText(name.isEmpty() ? address : withoutLineBreaks(name), true);
            *headerList += QStringLiteral(" <") + address + u'>';
            if (i + 1 < addresses.size())
                *headerList += QStringLiteral(", \r\n\t");
        }
        return true;
    };
    if (!addRecipients(m_Recipient, m_RecipientDisplayName, &toList)
        || !addRecipients(m_CcRecipient, m_CcDisplayName, &ccList)
        || !addRecipients(m_BccRecipient, {}, nullptr))
        return;
    if (accepted == 0) {
        failForRefusedRecipients();
        return;
    }

    m_step = SendStage::Data;
    Q_EMIT Status(QStringLiteral("Sending Message..."));
    // The data answers the "354": nothing else may have come with it.
    if (!sendCommandAndWait(QStringLiteral("DATA"), &SessionFlags::dataReady, m_MessageTimeout) || !serverKeptQuiet())
        return;
    m_flags.reply = false;
    m_dataWriter.restart();
    if (!sendHeaderBlock(multipart, related, toList, ccList, body))
        return;
    if (!sendFiles(related))
        return;
    if (multipart && !writeDataLine(QStringLiteral("--") + m_boundary + QStringLiteral("--")))
        return;
    // The last moment the caller has before the server can take the message.
    Q_EMIT AboutToEndData();
    m_finalReplyOwed = true;
    const long finalWait = std::max<long>(1, long(m_platform.finalReplyWait.count()));
    if (!sendCommandAndWait(QStringLiteral("."), &SessionFlags::reply, finalWait))
        return;

    m_outcome.sent = true;
    m_outcome.reply = fromWindows1252(m_lastReply);
    m_outcome.replyCode = server_reply::code(m_lastReply);
    Q_EMIT Progress(100);
    Q_EMIT Status(QStringLiteral("Transmission Complete..."));
    if (!keepSessionAfterMessage())
        CloseSession();
    Q_EMIT SendSuccesful();
}

// Each RCPT TO is answered on its own: a refused address is recorded and the
// message goes on to the others.
clsEnviarCorreu::RecipientAnswer clsEnviarCorreu::sendRecipient(const QString &address)
{
    m_recipientRefusal.clear();
    m_flags.awaitingRecipient = true;
    const bool answered =
        sendCommandAndWait(QStringLiteral("RCPT TO: <") + address + u'>', &SessionFlags::reply, m_MessageTimeout);
    m_flags.awaitingRecipient = false;
    if (!answered)
        return RecipientAnswer::Failed;
    if (m_recipientRefusal.isEmpty())
        return RecipientAnswer::Accepted;
    m_outcome.refused.append({address, fromWindows1252(m_recipientRefusal)});
    return RecipientAnswer::Refused;
}

// Nobody left to send to: the message fails with the server's refusals, as
// a single refused recipient always failed it.
void clsEnviarCorreu::failForRefusedRecipients()
{
    for (const RefusedRecipient &refused : std::as_const(m_outcome.refused))
        AddError(refused.reply);
    m_failureCode = server_reply::code(toWindows1252(m_outcome.refused.last().reply));
    m_transactionRefused = true;
    ReportFailure();
}

void clsEnviarCorreu::noteFailure(const QString &explanation)
{
    // The first failure of a Send is its outcome; one reported while the
    // session closes after it is not.
    const bool timedOut = std::exchange(m_timeoutReported, false);
    const std::optional<int> code = std::exchange(m_failureCode, std::nullopt);
    if (std::exchange(m_failureNoted, true))
        return;
    m_outcome.stage = timedOut ? SendStage::Timeout : m_step;
    m_outcome.reply = explanation;
    m_outcome.replyCode = code;
}

// A Send that ended without SendFailed: a login the server left unanswered,
// a host left in the pending-error list, or a wait of no length.
void clsEnviarCorreu::noteEndWithoutEvent()
{
    m_failureNoted = true;
    if (m_step == SendStage::Login) {
        m_outcome.stage = SendStage::Login;
        m_outcome.reply = error_text::loginFailed;
    } else if (!m_pendingErrors.isEmpty()) {
        m_outcome.stage = m_step;
        m_outcome.reply = m_pendingErrors.explanation();
    } else {
        m_outcome.stage = SendStage::Timeout;
        m_outcome.reply = error_text::timeout;
    }
}

bool clsEnviarCorreu::sendCommandAndWait(const QString &command, Flag flag, long seconds)
{
    m_flags.*flag = false;
    // A server gone before the command is as one gone after it: the wait says so.
    if (!sendCommand(command) && !m_flags.peerClosed) {
        if (!m_flags.abort)
            failUnexpectedly();
        return false;
    }
    m_flags.awaitingTransaction = true;
    const bool answered = WaitForReply(flag, seconds, true);
    m_flags.awaitingTransaction = false;
    return answered && !m_flags.abort;
}

void clsEnviarCorreu::failUnexpectedly()
{
    const bool open = transportConnected();
    const QString reason = m_plainTransport ? m_plain.errorString() : m_socket->errorString();
    AddError(open ? reason : error_text::socketNotOpen);
    ReportFailure();
}

BodyChannel clsEnviarCorreu::bodyChannel() const
{
    if (m_EncodeType != 0)
        return BodyChannel::Unlabelled;
    return m_flags.eightBitMimeOffered ? BodyChannel::EightBitMime : BodyChannel::SevenBit;
}

bool clsEnviarCorreu::sendHeaderBlock(bool multipart, bool related, const QString &toList, const QString &ccList,
                                      const EncodedBody &body)
{
    const bool mime = m_EncodeType == 0;
    const QString displayName = withoutLineBreaks(m_FromDisplayName);
    const QString sender = withoutLineBreaks(m_from);
    const QString fromValue = EncodeHeaderText(displayName.trimmed().isEmpty() ? sender : displayName, true)
        + QStringLiteral(" <") + sender + u'>';
    const QDateTime now = m_platform.clock ? m_platform.clock() : localNow();
    m_boundary = mimeBoundaryAt(now);

    QStringList rows;
    rows << QStringLiteral("From: ") + fromValue;
    // RFC 5322: a group with no members says the recipients are not shown.
    rows << QStringLiteral("To: ") + (toList.isEmpty() ? QStringLiteral("undisclosed-recipients:;") : toList);
    if (!ccList.isEmpty())
        rows << QStringLiteral("Cc: ") + ccList;
    rows << QStringLiteral("Subject: ") + EncodeHeaderText(withoutLineBreaks(m_Subject), false);
    if (!m_ReplyToAddress.isEmpty())
        rows << QStringLiteral("Reply-to: <") + withoutLineBreaks(m_ReplyToAddress) + u'>';
    rows << dateLine(now);
    m_outcome.messageId = newMessageId();
    rows << QStringLiteral("Message-ID: ") + m_outcome.messageId;
    if (mime) {
        rows << QStringLiteral("MIME-Version: 1.0");
        if (m_Priority != 3) {
            rows << QStringLiteral("X-Priority: ") + QString::number(m_Priority);
            rows << QStringLiteral("X-MSMail-Priority: ") + m_priorityWord;
        }
        if (m_Receipt)
            rows << QStringLiteral("Disposition-Notification-To: ") + fromValue;
    }
    if (multipart) {
        rows << (related ? QStringLiteral("Content-Type: multipart/related;")
                         : QStringLiteral("Content-Type: multipart/mixed;"));
        rows << QStringLiteral("\tboundary=\"") + m_boundary + u'"' + crlf;
        rows << QStringLiteral("This is a multi-part message in MIME format.") + crlf;
        rows << QStringLiteral("--") + m_boundary;
    }
    if (mime) {
        rows << QStringLiteral("Content-Type: ") + (m_AsHTML ? QStringLiteral("text/html;") : QStringLiteral("text/plain;"));
        rows << QStringLiteral("\tcharset=\"") + body.charset + u'"';
        rows << QStringLiteral("Content-Transfer-Encoding: ") + body.transferEncoding;
        if (m_AsHTML && !m_ContentBase.isEmpty())
            rows << QStringLiteral("Content-Base: \"") + withoutLineBreaks(m_ContentBase) + u'"';
    }
    for (const QString &row : std::as_const(rows)) {
        if (!writeDataLine(foldHeaderField(row)))
            return false;
    }
    // An empty line ends the headers; the body begins with an empty line.
    return writeMessageText(crlf) && writeMessageData(body.bytes);
}

QString clsEnviarCorreu::newMessageId() const
{
    const QString unique = m_platform.messageIdPart ? m_platform.messageIdPart() : randomMessageIdPart();
    return u'<' + unique + u'@' + messageIdDomain(m_from) + u'>';
}

QDateTime clsEnviarCorreu::localNow() const
{
    // The local time by the offset read when the component was made, the
    // one its Date lines carry: the C library would look at the time zone
    // file again for every message.
    return QDateTime::currentDateTimeUtc().toOffsetFromUtc(-60 * m_timeZoneBiasMinutes);
}

QString clsEnviarCorreu::dateLine(const QDateTime &now) const
{
    const int weekday = now.date().dayOfWeek() % 7 + 1; // 1 is Sunday
    return QStringLiteral("Date: ") + m_dayNames.value(weekday) + QStringLiteral(", ")
        + QString::number(now.date().day()) + u' ' + m_monthNames.value(now.date().month())
        + now.toString(QStringLiteral(" yyyy hh:mm:ss ")) + m_timeZoneOffset;
}

long clsEnviarCorreu::EstimateSize() const
{
    const auto length = [](const QString &text) { return long(text.size()); };
    long size = length(m_from) + 93;
    if (m_UseAuthentication) {
        size += length(m_from) + 25;
        if (!m_UserName.isEmpty())
            size += (4 * length(m_UserName)) / 3;
        if (!m_Password.isEmpty())
            size += (4 * length(m_Password)) / 3;
    }
    const auto addAddresses = [&](const QStringList &list, bool twice) {
        for (qsizetype i = 0; i < list.size(); ++i)
            size += (twice ? 2 : 1) * length(list[i]) + 15 + (i > 0 ? 6 : 0);
    };
    const auto addNames = [&](const QStringList &list) {
        for (const QString &name : list)
            size += length(name) + 11;
    };
    addAddresses(m_Recipient, true);
    addNames(m_RecipientDisplayName);
    addAddresses(m_CcRecipient, true);
    addNames(m_CcDisplayName);
    addAddresses(m_BccRecipient, false);
    if (!m_FromDisplayName.isEmpty())
        size += length(m_FromDisplayName) + 3;
    size += length(m_from);
    if (!m_ReplyToAddress.isEmpty())
        size += length(m_ReplyToAddress) + 14;
    size += length(m_Subject) + length(m_Message);
    if (m_EncodeType == 0) {
        size += (!m_ContentBase.isEmpty() && m_AsHTML) ? 82 + length(m_ContentBase) : 64;
        if (m_Receipt)
            size += length(m_FromDisplayName) + 36 + length(m_from);
    }
    const long count = long(m_attachmentPaths.size());
    if (count > 0) {
        const long bytes = long(m_attachmentTotalBytes);
        const long names = long(m_attachmentTotalNameLength);
        if (m_EncodeType == 0)
            size += (4 * bytes) / 3 + 42 + 2 * (bytes / 57) + 2 * names + 182 * count + 290;
        else
            size += (4 * bytes) / 3 + 3 * (bytes / 45) + names + 20 * count;
    }
    return size;
}

} // namespace tramelo
