// The surface of the mail component: creation and destruction,
// every property with its normalisation, check, message and stored key, the
// address lists, the host check, attachments, the pending-error steps, and
// the address, resolution and ping methods.
#include "clsEnviarCorreu.h"

#include "address_validation.h"
#include "component_support.h"
#include "host_services.h"
#include "message_body.h"
#include "net_utilities.h"
#include "plain_text.h"
#include "settings_store.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace tramelo {
namespace {

// The checks of the numeric properties, for assigned and stored values alike.
std::optional<long> acceptedConnectRetry(long value)
{
    return value >= 1 && value <= 20 ? std::optional<long>(value) : std::nullopt;
}

std::optional<long> acceptedConnectTimeout(long value)
{
    return value >= 1 && value <= 120 ? std::optional<long>(value) : std::nullopt;
}

// MessageTimeout stands for a 32-bit number of seconds, counted by its
// magnitude; a larger one would overflow the wait's deadline.
long clampedMessageTimeout(long value)
{
    constexpr long largest = std::numeric_limits<qint32>::max();
    return std::clamp(value, -largest, largest);
}

long messageTimeoutSeconds(long clamped)
{
    return clamped < 0 ? -clamped : clamped;
}

} // namespace

// ---- creation and destruction ---------------------------------------------

clsEnviarCorreu::clsEnviarCorreu(QObject *parent)
    : clsEnviarCorreu(MailPlatform{}, parent)
{
}

clsEnviarCorreu::clsEnviarCorreu(MailPlatform platform, QObject *parent)
    : QObject(parent)
    , m_platform(std::move(platform))
{
    if (!m_platform.hostServices)
        m_platform.hostServices = systemHostServices();

    // 1. A new, empty pending-error list.
    m_pendingErrors.clear();
    // 2. The component's own socket and its events.
    initSession();
    // 3. The persistence switch.
    m_PersistentSettings = settings_store::readNumber(QStringLiteral("PersistentSettings"), 0);
    // 4. Stored settings, or the built-in defaults.
    if (m_PersistentSettings != 0) {
        loadStoredSettings();
    } else {
        m_EncodeType = 0;
        m_AsHTML = false;
        m_SMTPPort = 25;
        m_SMTPHostValidation = 3;
        m_EmailAddressValidation = 1;
        m_ConnectTimeout = 30;
        m_MessageTimeout = 60;
        m_ConnectRetry = 4;
    }
    // 5. The time-zone offset text of the Date header.
    m_timeZoneBiasMinutes = m_platform.timeZoneBiasMinutes ? *m_platform.timeZoneBiasMinutes : localTimeZoneBiasMinutes();
    m_timeZoneOffset = tramelo::timeZoneOffsetText(m_timeZoneBiasMinutes); // the free function, not the member view
    // 6. Empty lists, the delimiter and the priority number (the word stays
    //    empty).
    m_Recipient.clear();
    m_RecipientDisplayName.clear();
    m_CcRecipient.clear();
    m_CcDisplayName.clear();
    m_BccRecipient.clear();
    m_attachmentPaths.clear();
    m_Delimiter = QStringLiteral(";");
    m_Priority = 3;
    // 7. Day and month names, index 0 empty.
    m_dayNames = QStringLiteral(",Sun,Mon,Tue,Wed,Thu,Fri,Sat").split(u',');
    m_monthNames = QStringLiteral(",Jan,Feb,Mar,Apr,May,Jun,Jul,Aug,Sep,Oct,Nov,Dec").split(u',');
}

clsEnviarCorreu::~clsEnviarCorreu()
{
    m_inOperation = true;
    if (socketState() != socketClosed)
        CloseSession();
    // The socket is a child of this object and goes with it; so does the
    // pending-error list.
}

void clsEnviarCorreu::loadStoredSettings()
{
    using namespace settings_store;
    m_from = read(QStringLiteral("From"), QString());
    m_FromDisplayName = read(QStringLiteral("FromDisplayName"), QString());
    m_POP3Host = read(QStringLiteral("Pop3Host"), QString());
    m_SMTPHost = read(QStringLiteral("RemoteHost"), QString());
    takeSMTPPort(readNumber(QStringLiteral("RemotePort"), m_SMTPPort));
    m_SMTPHostValidation = readNumber(QStringLiteral("SMTPHostValidation"), 3);
    m_EmailAddressValidation = readNumber(QStringLiteral("EmailValidation"), 1);
    m_ConnectTimeout = acceptedConnectTimeout(readNumber(QStringLiteral("ConnectTimeout"), m_ConnectTimeout))
                           .value_or(m_ConnectTimeout);
    m_MessageTimeout = messageTimeoutSeconds(clampedMessageTimeout(readNumber(QStringLiteral("MessageTimeout"), 60)));
    m_ConnectRetry = acceptedConnectRetry(readNumber(QStringLiteral("ConnectRetry"), m_ConnectRetry))
                         .value_or(m_ConnectRetry);
    m_EncodeType = readNumber(QStringLiteral("EncodeType"), 0);
    m_UserName = read(QStringLiteral("Username"), QString());
    m_UseAuthentication = readBoolean(QStringLiteral("UseAuthentication"), false);
    m_UsePopAuthentication = readBoolean(QStringLiteral("UsePopAuthentication"), false);
}

void clsEnviarCorreu::storeSetting(const QString &key, const QString &value)
{
    if (m_PersistentSettings != 0)
        settings_store::write(key, value);
}

// ---- lists ----------------------------------------------------------------

QString clsEnviarCorreu::joinList(const QStringList &list) const
{
    return list.join(m_Delimiter);
}

QStringList clsEnviarCorreu::splitList(const QString &text) const
{
    if (text.isEmpty())
        return {};
    if (m_Delimiter.isEmpty())
        return {text};
    return text.split(m_Delimiter, Qt::KeepEmptyParts, Qt::CaseInsensitive);
}

QStringList clsEnviarCorreu::cleanList(const QString &text) const
{
    QStringList list = splitList(text);
    for (QString &element : list)
        element = cleanListElement(element);
    return list;
}

void clsEnviarCorreu::checkAddressList(const QString &text, const QString &message)
{
    RemoveError(message);
    if (m_EmailAddressValidation != 1)
        return;
    const QStringList elements = splitList(text);
    for (const QString &element : elements) {
        if (!IsValidEmailAddress(element)) {
            AddError(message);
            return;
        }
    }
}

bool clsEnviarCorreu::checkHost(QString &value, const QString &message)
{
    const bool given = !value.isEmpty();
    value.remove(QChar(u'\0'));
    // A value given that names nothing once normalised is no host; taken as
    // empty, it would start a lookup of the machine's own mail exchanger.
    bool valid = !given || !isBlank(value);
    if (valid && !value.isEmpty()) {
        switch (m_SMTPHostValidation) {
        case 1:
            valid = isValidDomain(value);
            break;
        case 2: {
            QString roundTripTime;
            QString dataSize;
            bool dataMatch = false;
            valid = Ping(value, roundTripTime, dataSize, dataMatch);
            break;
        }
        case 3:
            valid = !GetIPAddress(value).isEmpty();
            break;
        default:
            break;
        }
    }
    if (valid)
        RemoveError(message);
    else
        AddError(message);
    return valid;
}

// ---- properties -----------------------------------------------------------

QString clsEnviarCorreu::Attachment() const
{
    return joinList(m_attachmentPaths);
}

void clsEnviarCorreu::setAttachment(const QString &value)
{
    m_attachmentPaths = splitList(value);
    m_attachmentTotalBytes = 0;
    m_attachmentTotalNameLength = 0;
    RemoveError(error_text::missingAttachment);
    m_attachmentNames.clear();
    m_attachmentEmbedded.clear();
    const qsizetype count = m_attachmentPaths.size();
    if (count == 0)
        return;
    m_attachmentNames = QStringList(count, QString());
    m_attachmentEmbedded = QList<bool>(count, false);
    for (qsizetype i = 0; i < count; ++i) {
        const QString &path = m_attachmentPaths[i];
        const QFileInfo file(path);
        if (path.isEmpty() || !file.isFile()) {
            AddError(error_text::missingAttachment);
            return;
        }
        const QString name = fileNameOfPath(path);
        m_attachmentNames[i] = name;
        m_attachmentTotalBytes += file.size();
        m_attachmentTotalNameLength += name.size();
    }
}

void clsEnviarCorreu::setBccRecipient(const QString &value)
{
    m_BccRecipient = cleanList(value);
    checkAddressList(value, error_text::invalidBcc);
}

void clsEnviarCorreu::setCcDisplayName(const QString &value)
{
    m_CcDisplayName = cleanList(value);
}

void clsEnviarCorreu::setCcRecipient(const QString &value)
{
    m_CcRecipient = cleanList(value);
    checkAddressList(value, error_text::invalidCc);
}

void clsEnviarCorreu::setConnectRetry(long value)
{
    m_ConnectRetry = acceptedConnectRetry(value).value_or(m_ConnectRetry);
    storeSetting(QStringLiteral("ConnectRetry"), settings_store::numberText(value));
}

void clsEnviarCorreu::setConnectTimeout(long value)
{
    m_ConnectTimeout = acceptedConnectTimeout(value).value_or(m_ConnectTimeout);
    storeSetting(QStringLiteral("ConnectTimeout"), settings_store::numberText(value));
}

void clsEnviarCorreu::setContentBase(const QString &value)
{
    m_ContentBase = normalizedContentBase(value);
}

void clsEnviarCorreu::setDelimiter(const QString &value)
{
    m_Delimiter = value.left(1);
}

void clsEnviarCorreu::setEmailAddressValidation(long value)
{
    m_EmailAddressValidation = value;
    storeSetting(QStringLiteral("EmailValidation"), settings_store::numberText(value));
}

void clsEnviarCorreu::setEncodeType(long value)
{
    m_EncodeType = value;
    storeSetting(QStringLiteral("EncodeType"), settings_store::numberText(value));
}

void clsEnviarCorreu::setFrom(const QString &value)
{
    m_from = trimBlanks(value);
    storeSetting(QStringLiteral("From"), value);
    checkAddressList(value, error_text::invalidSender);
}

void clsEnviarCorreu::setFromDisplayName(const QString &value)
{
    m_FromDisplayName = trimBlanks(value);
    storeSetting(QStringLiteral("FromDisplayName"), value);
}

void clsEnviarCorreu::setMessage(const QString &value)
{
    m_Message = prepareBody(value);
    m_eightBit = hasEightBitCharacters(m_Message);
}

void clsEnviarCorreu::setMessageTimeout(long value)
{
    const long clamped = clampedMessageTimeout(value);
    m_MessageTimeout = messageTimeoutSeconds(clamped);
    storeSetting(QStringLiteral("MessageTimeout"), settings_store::numberText(clamped));
}

void clsEnviarCorreu::setPersistentSettings(bool value)
{
    m_PersistentSettings = value ? -1 : 0;
    storeSetting(QStringLiteral("PersistentSettings"), settings_store::booleanText(value));
}

void clsEnviarCorreu::setPriority(long value)
{
    m_Priority = value;
    switch (value) {
    case 1:
        m_priorityWord = QStringLiteral("High");
        break;
    case 3:
        m_priorityWord = QStringLiteral("Normal");
        break;
    case 5:
        m_priorityWord = QStringLiteral("Low");
        break;
    default:
        break;
    }
}

void clsEnviarCorreu::setRecipient(const QString &value)
{
    m_Recipient = cleanList(value);
    checkAddressList(value, error_text::invalidRecipient);
}

void clsEnviarCorreu::setRecipientDisplayName(const QString &value)
{
    m_RecipientDisplayName = cleanList(value);
}

void clsEnviarCorreu::setReplyToAddress(const QString &value)
{
    m_ReplyToAddress = trimBlanks(value);
}

void clsEnviarCorreu::setPOP3Host(const QString &value)
{
    QString host = value;
    if (checkHost(host, error_text::invalidPop3Host)) {
        storeSetting(QStringLiteral("Pop3Host"), host);
        m_POP3Host = host;
    }
}

void clsEnviarCorreu::setSMTPHost(const QString &value)
{
    QString host = value;
    if (checkHost(host, error_text::invalidSmtpHost)) {
        storeSetting(QStringLiteral("RemoteHost"), host);
        m_SMTPHost = host;
    }
}

void clsEnviarCorreu::setSMTPHostValidation(long value)
{
    m_SMTPHostValidation = value;
    storeSetting(QStringLiteral("SMTPHostValidation"), settings_store::numberText(value));
    if (!m_SMTPHost.isEmpty())
        setSMTPHost(m_SMTPHost);
}

void clsEnviarCorreu::setSMTPPort(long value)
{
    if (takeSMTPPort(value))
        storeSetting(QStringLiteral("RemotePort"), settings_store::numberText(value));
}

bool clsEnviarCorreu::takeSMTPPort(long value)
{
    if (value < 1 || value > 65535) {
        AddError(error_text::invalidPort);
        return false;
    }
    m_SMTPPort = value;
    RemoveError(error_text::invalidPort);
    return true;
}

void clsEnviarCorreu::setUseAuthentication(bool value)
{
    m_UseAuthentication = value;
    storeSetting(QStringLiteral("UseAuthentication"), settings_store::booleanText(value));
}

void clsEnviarCorreu::setUsePopAuthentication(bool value)
{
    m_UsePopAuthentication = value;
    storeSetting(QStringLiteral("UsePopAuthentication"), settings_store::booleanText(value));
}

void clsEnviarCorreu::setUserName(const QString &value)
{
    m_UserName = value;
    storeSetting(QStringLiteral("Username"), value);
}

// ---- errors ---------------------------------------------------------------

void clsEnviarCorreu::ReportFailure()
{
    // A stopped Send has said why it ended: what its closing brings is not news.
    if (m_stopReported) {
        m_pendingErrors.clear();
        m_flags.abort = true;
        return;
    }
    if (std::exchange(m_finalReplyOwed, false)) {
        // The whole message went: whatever kept its answer away, the server
        // may have taken it, and a time-out or a close says no more than that.
        m_outcome.inDoubt = true;
        m_pendingErrors.remove(error_text::timeout);
        AddError(error_text::noFinalReply);
    }
    // The list is emptied before anything is raised, so that a failure
    // reported during the nested CloseSession (a reply to QUIT, a socket
    // error) reports only itself and never repeats these entries.
    const QString explanation = m_pendingErrors.explanation();
    m_pendingErrors.clear();
    noteFailure(explanation);
    Q_EMIT SendFailed(explanation);
    if (socketState() != socketClosed && !keepSessionAfterFailure())
        CloseSession();
    m_flags.abort = true;
}

// ---- methods --------------------------------------------------------------

bool clsEnviarCorreu::IsValidEmailAddress(const QString &AddressString) const
{
    return isValidEmailAddress(AddressString);
}

QString clsEnviarCorreu::GetIPAddress(QString &sHostName)
{
    return getIPAddress(*m_platform.hostServices, sHostName);
}

QString clsEnviarCorreu::GetIPHost()
{
    return getIPHost(*m_platform.hostServices);
}

bool clsEnviarCorreu::Ping(QString &Address, QString &RoundTripTime, QString &DataSize, bool &DataMatch)
{
    return ping(*m_platform.hostServices, Address, RoundTripTime, DataSize, DataMatch);
}

} // namespace tramelo
