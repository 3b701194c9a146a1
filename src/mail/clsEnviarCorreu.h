#pragma once

#include "message_body.h"
#include "message_data_writer.h"
#include "plain_socket.h"
#include "pending_errors.h"
#include "send_outcome.h"
#include "server_reply.h"
#include "transport_security.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QAbstractSocket>
#include <QSslError>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QSslSocket;

namespace tramelo {

class HostServices;

// RFC 5321 (4.5.3.2.6): the reply to the final "." is awaited this long,
// whatever MessageTimeout says. The server may be taking the message all
// that time; giving up sooner makes a second copy on the next attempt.
inline constexpr std::chrono::seconds finalReplyTimeout = std::chrono::minutes(10);

// What the component needs of its surroundings, replaceable in tests.
struct MailPlatform {
    std::shared_ptr<HostServices> hostServices; // name resolution and ICMP echo; system ones when null
    std::function<QDateTime()> clock;          // local date and time; the system clock when empty
    std::optional<int> timeZoneBiasMinutes;    // UTC minus local time; the C library's when empty
    std::function<QString()> messageIdPart;    // the part of a Message-ID before "@"; random when empty
    quint16 pop3Port = 110;
    std::chrono::seconds finalReplyWait = finalReplyTimeout; // for the answer to the final "."
};

// The mail-sending component: holds one message, opens an SMTP session (after
// an optional POP3 login), transmits the message and reports through its
// signals. Nothing is thrown to the caller: refused values are collected in
// the pending-error list and reported by the next Send.
class clsEnviarCorreu : public QObject
{
    Q_OBJECT
public:
    explicit clsEnviarCorreu(QObject *parent = nullptr);
    explicit clsEnviarCorreu(MailPlatform platform, QObject *parent = nullptr);
    ~clsEnviarCorreu() override;

    // ---- properties -------------------------------------------------------
    bool AsHTML() const { return m_AsHTML; }
    void setAsHTML(bool value) { m_AsHTML = value; }
    QString Attachment() const;
    void setAttachment(const QString &value);
    QString BccRecipient() const { return joinList(m_BccRecipient); }
    void setBccRecipient(const QString &value);
    QString CcDisplayName() const { return joinList(m_CcDisplayName); }
    void setCcDisplayName(const QString &value);
    QString CcRecipient() const { return joinList(m_CcRecipient); }
    void setCcRecipient(const QString &value);
    long ConnectRetry() const { return m_ConnectRetry; }
    void setConnectRetry(long value);
    long ConnectTimeout() const { return m_ConnectTimeout; }
    void setConnectTimeout(long value);
    QString ContentBase() const { return m_ContentBase; }
    void setContentBase(const QString &value);
    QString Delimiter() const { return m_Delimiter; }
    void setDelimiter(const QString &value);
    long EmailAddressValidation() const { return m_EmailAddressValidation; }
    void setEmailAddressValidation(long value);
    long EncodeType() const { return m_EncodeType; }
    void setEncodeType(long value);
    QString from() const { return m_from; }
    void setFrom(const QString &value);
    QString FromDisplayName() const { return m_FromDisplayName; }
    void setFromDisplayName(const QString &value);
    QString Message() const { return m_Message; }
    void setMessage(const QString &value);
    long MessageTimeout() const { return m_MessageTimeout; }
    void setMessageTimeout(long value);
    QString Password() const { return m_Password; }
    void setPassword(const QString &value) { m_Password = value; }
    bool PersistentSettings() const { return m_PersistentSettings != 0; }
    void setPersistentSettings(bool value);
    long Priority() const { return m_Priority; }
    void setPriority(long value);
    bool Receipt() const { return m_Receipt; }
    void setReceipt(bool value) { m_Receipt = value; }
    QString Recipient() const { return joinList(m_Recipient); }
    void setRecipient(const QString &value);
    QString RecipientDisplayName() const { return joinList(m_RecipientDisplayName); }
    void setRecipientDisplayName(const QString &value);
    QString ReplyToAddress() const { return m_ReplyToAddress; }
    void setReplyToAddress(const QString &value);
    QString POP3Host() const { return m_POP3Host; }
    void setPOP3Host(const QString &value);
    QString SMTPHost() const { return m_SMTPHost; }
    void setSMTPHost(const QString &value);
    long SMTPHostValidation() const { return m_SMTPHostValidation; }
    void setSMTPHostValidation(long value);
    long SMTPPort() const { return m_SMTPPort; }
    void setSMTPPort(long value);
    // Not kept in the settings store: the caller chooses them for every message.
    SecurityMode Security() const { return m_Security; }
    void setSecurity(SecurityMode value) { m_Security = value; }
    // A PEM file of authorities trusted beside the system's (empty: none).
    QString TrustedCertificatesFile() const { return m_TrustedCertificatesFile; }
    void setTrustedCertificatesFile(const QString &value) { m_TrustedCertificatesFile = value; }
    QString Subject() const { return m_Subject; }
    void setSubject(const QString &value) { m_Subject = value; }
    bool UseAuthentication() const { return m_UseAuthentication; }
    void setUseAuthentication(bool value);
    bool UsePopAuthentication() const { return m_UsePopAuthentication; }
    void setUsePopAuthentication(bool value);
    QString UserName() const { return m_UserName; }
    void setUserName(const QString &value);

    // One SMTP session for many messages. Off (the default), every Send opens
    // a session and closes it with QUIT after the message. On, Send leaves the
    // session open after a message and the next Send carries its message on
    // it, without greeting or logging in again:
    // - after a message the server refused (MAIL FROM, every RCPT TO, DATA or
    //   the final "." answered 4xx or 5xx, other than 421), the session stays
    //   open and the next Send first says RSET and waits for its 250;
    // - a new session is opened, quietly, when the kept one cannot carry the
    //   next message: the server closed it, sent something unasked (a 421
    //   while idle), the RSET was refused or unanswered, the last message
    //   ended in a time-out, a 421, a socket error or any other failure, or
    //   the server, port, security, trusted certificates or login changed;
    // - a session carries at most maxMessagesPerSession messages: the Send of
    //   the last one closes it with QUIT, and the next Send opens another.
    // Between two Sends the component raises no event: what the server says
    // or does meanwhile is only seen by the next Send. Events, outcome and
    // refused recipients are each message's own, as without the mode.
    // Connect() turns the mode on and opens the session at once; Disconnect()
    // (or setKeepConnection(false)) turns it off and ends the session with
    // QUIT; destroying the component ends it too.
    static constexpr int maxMessagesPerSession = 100;
    bool KeepConnection() const { return m_keepConnection; }
    void setKeepConnection(bool value);

    // ---- methods ----------------------------------------------------------
    void Send();
    // From an event handler while Send runs (an operator's stop): every wait
    // of that Send ends at once, the session is closed and the Send ends
    // with SendFailed(error_text::sendStopped + CR LF). Outside a Send it
    // does nothing.
    void AbortSend();
    bool Connect();
    void Disconnect();
    void Shutdown() {}
    QString GetContentType(const QString &strFile, const QString &strDefault) const;
    void EncodeAndSendFile(const QString &strFile, long Encode);
    bool IsValidEmailAddress(const QString &AddressString) const;
    QString MXQuery(const QString &IPDomain);
    QString GetIPAddress(QString &sHostName);
    QString GetIPHost();
    bool Ping(QString &Address, QString &RoundTripTime, QString &DataSize, bool &DataMatch);

    // The socket's state in the codes of the socket control the component
    // was built around: closed, connected and error, or a state in between.
    enum SocketStateCode : int {
        socketClosed = 0,
        socketOpen = 1,
        socketListening = 2,
        socketResolvingHost = 4,
        socketConnecting = 6,
        socketConnected = 7,
        socketClosing = 8,
        socketError = 9,
    };
    int socketState() const;
    // What the last Send came to: where it stopped and why, the recipients
    // the server refused, the Message-ID of a sent message.
    const SendOutcome &sendOutcome() const { return m_outcome; }

Q_SIGNALS:
    void SendSuccesful();
    void SendFailed(const QString &Explanation);
    void Status(const QString &Status);
    void Progress(int PercentComplete);
    // The whole message has been written and its final "." is next: what a
    // caller must have done before the server takes the message, it does
    // here (the run makes its journal durable). Not raised when the message
    // failed before.
    void AboutToEndData();

private:
    // Tests of the component surface read its private state through this.
    friend struct ComponentSurfaceProbe;

    // ---- component surface (properties, errors, creation) -----------------
    QString joinList(const QStringList &list) const;
    QStringList splitList(const QString &text) const;
    QStringList cleanList(const QString &text) const;
    void checkAddressList(const QString &text, const QString &message);
    bool checkHost(QString &value, const QString &message);
    bool takeSMTPPort(long value);
    void storeSetting(const QString &key, const QString &value);
    void loadStoredSettings();
    void AddError(const QString &text) { m_pendingErrors.add(text); }
    void RemoveError(const QString &text) { m_pendingErrors.remove(text); }
    void ReportFailure();

    // ---- session ----------------------------------------------------------
    // The session runs on these flags: each step clears the flag its answer
    // sets, sends its command and waits for the flag, a time-out or the
    // abort. The reply handler (judgeReply) is the one place that says which
    // reply sets which flag, by the dialogue the session is in.
    struct SessionFlags {
        bool connected = false;
        bool reply = false;
        bool dataReady = false;
        bool loginOffered = false;  // a mechanism we use: LOGIN, and PLAIN inside TLS
        bool plainOffered = false;
        bool authParameter = false;
        bool startTlsOffered = false;
        bool eightBitMimeOffered = false;
        bool loginAccepted = false;
        bool loginStarted = false; // our AUTH was sent: "334" prompts are for us
        bool awaitingRecipient = false; // a refusal answers one RCPT TO, not the message
        bool awaitingTransaction = false; // a refusal answers MAIL FROM, RCPT TO, DATA or "."
        bool awaitingReset = false;  // the answer to RSET, judged quietly
        bool resetRefused = false;
        bool encrypted = false;    // the TLS handshake is done
        bool abort = false;
        bool peerClosed = false;   // nothing more can arrive: every wait ends
        bool pop3Done = false;
        bool chunkSent = false;
    };
    using Flag = bool SessionFlags::*;

    // What the server's words mean now. "+OK" and "-ER" are POP3 answers
    // only during the POP3 login; after STARTTLS only "220" opens the
    // handshake, and until the handshake nothing the server sends is read.
    enum class Dialogue { Pop3Login, Smtp, StartTls, TlsHandshake };
    enum class LoginMechanism { Login, Plain };

    void initSession();
    bool OpenSession();
    bool openPop3Phase();
    bool openSmtpPhase();
    enum class AttemptsOutcome { Connected, UsedUp, Aborted };
    AttemptsOutcome connectionAttempts();
    bool sayHello();
    void forgetExtensions();
    bool logIn();
    void CloseSession();
    bool WaitForReply(Flag flag, long seconds, bool reportTimeout);
    void ReportTimeout();
    bool sendingStopped();
    void pumpEventsOnce();
    void pumpPlainSocketOnce();
    void waitForEvents();

    // ---- one session for many messages (kept_session.cpp) -----------------
    // What a session was opened for: a message for anything else needs
    // another session.
    struct SessionTarget {
        QString host;
        long port = 0;
        SecurityMode security = SecurityMode::None;
        QString trustedCertificatesFile;
        bool login = false;
        QString userName;
        QString password;
        friend bool operator==(const SessionTarget &, const SessionTarget &) = default;
    };
    SessionTarget sessionTarget() const;
    bool openOrReuseSession();
    void retireUnfitKeptSession();
    bool keptSessionHasUnreadInput() const;
    bool resetTransaction();
    bool keepSessionAfterMessage();
    bool keepSessionAfterFailure();
    bool idleKeptSession() const { return m_keepConnection && !m_inOperation; }
    QString greetingDomain() const;

    // socket, as the session sees it
    bool transportConnected() const;
    void socketConnect();
    void socketClose();
    bool sendData(const QString &text);
    bool sendData(const QByteArray &bytes);
    bool sendCommand(const QString &line);
    bool writeCommand(const QString &line);
    bool serverKeptQuiet();
    void readWaitingInput();
    void flushOutgoing();
    qint64 queuedBytes() const;

    // one handler per socket event
    void onSocketConnected();
    void onSocketDisconnected();
    void onSocketReadyRead();
    void onSocketError();
    void onSocketBytesWritten(qint64 bytes);
    void reportProgress();
    void showDataLeaving();
    void onPlainSocketActivity(const PlainSocket::Activity &activity);
    void onConnectionEnded(QByteArrayView lastBytes);
    void reportSocketError(const QString &text);
    bool readPendingReply();
    bool judgeFramedReplies();
    bool takeUnaskedGoodbye();

    void judgeReply(const QByteArray &reply);
    void judgeSmtpReply(const QByteArray &reply);
    bool judgePop3Answer(const QByteArray &reply);
    void judgeStartTlsAnswer(const QByteArray &reply);
    void rejectReply(const QByteArray &reply);
    void dropOverlongReply(const QByteArray &received);
    void failOutOfTurn();
    bool quietFailure() const;
    void answerLoginPrompt(const QByteArray &reply);
    void stepPop3Dialogue();

    // ---- TLS (session_tls.cpp) -----------------------------------------------
    bool prepareTls();
    bool startTls();
    void dropUnreadInput();
    void onSslErrors(const QList<QSslError> &errors);
    void onSocketEncrypted();
    void onNewSessionTicket();
    bool handshaking() const;
    QString handshakeFailureText(QAbstractSocket::SocketError error) const;

    // ---- message assembly and files ---------------------------------------
    void transmit();
    enum class RecipientAnswer { Accepted, Refused, Failed };
    RecipientAnswer sendRecipient(const QString &address);
    void failForRefusedRecipients();
    void noteFailure(const QString &explanation);
    void noteEndWithoutEvent();
    bool sendCommandAndWait(const QString &command, Flag flag, long seconds);
    void failUnexpectedly();
    BodyChannel bodyChannel() const;
    bool sendHeaderBlock(bool multipart, bool related, const QString &toList, const QString &ccList,
                         const EncodedBody &body);
    bool sendFiles(bool related);
    bool LinkEmbeddedFiles();
    long EstimateSize() const;
    QString dateLine(const QDateTime &now) const;
    QDateTime localNow() const;
    QString newMessageId() const;

    // ---- message data, between DATA and the final "." ----------------------
    bool writeMessageData(QByteArrayView bytes);
    bool writeMessageText(const QString &text);
    bool writeDataLine(const QString &text);
    bool waitForSocketQueue(qint64 limit);

    // ---- state ------------------------------------------------------------
    MailPlatform m_platform;

    bool m_AsHTML = false;
    QStringList m_attachmentPaths;
    QStringList m_attachmentNames;
    QList<bool> m_attachmentEmbedded;
    qint64 m_attachmentTotalBytes = 0;
    qint64 m_attachmentTotalNameLength = 0;
    QStringList m_BccRecipient;
    QStringList m_CcDisplayName;
    QStringList m_CcRecipient;
    long m_ConnectRetry = 4;
    long m_ConnectTimeout = 30;
    QString m_ContentBase;
    QString m_Delimiter = QStringLiteral(";");
    long m_EmailAddressValidation = 1;
    long m_EncodeType = 0;
    QString m_from;
    QString m_FromDisplayName;
    QString m_Message;
    long m_MessageTimeout = 60;
    QString m_Password;
    long m_PersistentSettings = 0;
    long m_Priority = 3;
    bool m_Receipt = false;
    QStringList m_Recipient;
    QStringList m_RecipientDisplayName;
    QString m_ReplyToAddress;
    QString m_POP3Host;
    QString m_SMTPHost;
    long m_SMTPHostValidation = 3;
    long m_SMTPPort = 25;
    QString m_Subject;
    bool m_UseAuthentication = false;
    bool m_UsePopAuthentication = false;
    QString m_UserName;
    SecurityMode m_Security = SecurityMode::None;
    QString m_TrustedCertificatesFile;

    PendingErrorList m_pendingErrors;
    bool m_eightBit = false;
    QString m_priorityWord;
    int m_timeZoneBiasMinutes = 0;
    QString m_timeZoneOffset;
    QStringList m_dayNames;
    QStringList m_monthNames;
    bool m_keepConnection = false;
    bool m_inOperation = false; // a Send, Connect or Disconnect is running
    // The session kept open for the next message.
    struct KeptSession {
        SessionTarget target;
        int messages = 0;         // messages started on it
        bool reusable = false;    // its last message ended cleanly, or it has carried none yet
        bool resetNeeded = false; // its last message was refused: RSET first
    };
    KeptSession m_kept;
    bool m_transactionRefused = false; // the failure being reported left the session usable

    // Sessions in the clear (and the POP3 login) run on the plain socket,
    // those with TLS on the Qt one.
    QSslSocket *m_socket = nullptr;
    PlainSocket m_plain;
    bool m_plainTransport = false;
    QElapsedTimer m_eventsProcessed; // since the last pass of the event loop in a wait
    bool m_socketErrored = false;
    bool m_closingSocket = false;
    QString m_remoteHost;
    quint16 m_remotePort = 0;
    QTimer m_wakeTimer;
    QByteArray m_outgoing; // written by the session, handed to the socket when it waits
    SessionFlags m_flags;
    // Replies owed for the commands written (the greeting's for a new
    // connection): only these are judged. Anything else the server says is
    // out of turn, and fails the session when the next command is due.
    int m_repliesAwaited = 0;
    Dialogue m_dialogue = Dialogue::Smtp;
    int m_pop3Step = 0;
    LoginMechanism m_loginMechanism = LoginMechanism::Login;
    int m_loginPromptsAnswered = 0;
    // The TLS configuration for the trusted certificates file it was built
    // from, and the last session the server offered to resume, with the
    // server it belongs to.
    struct TlsTrust {
        QString certificatesFile;
        QSslConfiguration configuration;
    };
    std::optional<TlsTrust> m_tlsTrust;
    struct TlsResumption {
        QString host;
        quint16 port = 0;
        QByteArray ticket;
    };
    TlsResumption m_tlsResumption;
    QString m_certificateFailure; // why the last handshake refused the certificate
    ReplyReader m_replies;
    qint64 m_bytesSent = 0;
    long m_sizeEstimate = 0;
    QString m_boundary;
    MessageDataWriter m_dataWriter;
    int m_lastPercentage = 0;

    // ---- what the current Send comes to -------------------------------------
    SendOutcome m_outcome;
    SendStage m_step = SendStage::Validation;
    bool m_failureNoted = false;
    bool m_timeoutReported = false;
    QByteArray m_lastReply;       // the last reply judged
    QByteArray m_recipientRefusal; // the refusal of the RCPT TO awaited
    std::optional<int> m_failureCode; // the code of the reply that failed the message
    // The final "." is due or written, and its answer has not come.
    bool m_finalReplyOwed = false;
    bool m_sending = false;
    bool m_stopRequested = false; // AbortSend during this Send
    bool m_stopReported = false;
};

} // namespace tramelo
