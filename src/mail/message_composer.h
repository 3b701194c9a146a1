#pragma once

#include "composed_message.h"
#include "embedded_files.h"
#include "encoded_files.h"
#include "list_unsubscribe.h"
#include "message_body.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace tramelo {

class DkimSigner;

// What every message of a run shares.
struct MessageSettings {
    QString sender;
    QString senderName;
    QString replyTo;
    // MIME (MIME headers, the text declared 7bit or 8bit, files as base64
    // parts); off, the plain format: no MIME headers, files uuencoded.
    bool mime = true;
    bool html = false;
    QString contentBase; // normalised; sent with an HTML body
    long priority = 3;   // 3 sends no priority headers
    QString priorityWord;
    bool receipt = false;
    // An HTML body (MIME only) goes with its text alternative (textOfHtml),
    // the two in multipart/alternative; off, as HTML alone.
    bool textAlternative = false;
    // Made once for the run; none: messages go unsigned.
    std::shared_ptr<const DkimSigner> dkim = nullptr;
};

// The time a message is dated and its Message-ID.
struct ComposerClock {
    // Local time; empty: the system's clock at the offset read when the
    // composer was made, the one its Date lines carry.
    std::function<QDateTime()> now;
    // UTC minus local time, in minutes; empty: the C library's.
    std::optional<int> timeZoneBiasMinutes;
    // The part of a Message-ID before "@"; empty: unique and random.
    std::function<QString()> messageIdPart;
};

// Each message's own parts. The header lists carry every address given
// (Bcc addresses go only in the envelope); a name missing or empty shows
// the address instead, and a name is encoded as the sender's is.
struct MessageParts {
    QStringList to;
    QStringList toNames;
    QStringList cc;
    QStringList ccNames;
    QString subject;
    QString body;
    // Empty: no list headers. Otherwise List-Id (after the sender's address),
    // List-Unsubscribe and, for an https URL, List-Unsubscribe-Post.
    ListUnsubscribe unsubscribe = {};
};

// Composes finished messages: the header block in its fixed order, the body
// in the character set and transfer encoding it needs, and the files as
// parts (multipart/mixed, or multipart/related when the HTML body shows
// some of them) or uuencoded blocks. The files are those of the run, read
// and encoded once and shared by every message.
//
// With a text alternative the structure is alternativeBody's
// (mime_structure.h) and files the HTML shows go inline; without one,
// every message keeps the structure and bytes it always had. A message's
// own files would come beside the run's in compose(). The DKIM signature is
// made last, over the finished message data.
class MessageComposer
{
public:
    MessageComposer(MessageSettings settings, std::vector<std::shared_ptr<const EncodedFile>> files,
                    ComposerClock clock = {});

    const MessageSettings &settings() const { return m_settings; }
    // Links the files an HTML body shows, rewriting it: once for a run's
    // body before its fields are merged, or once for a message's own.
    BodyLinks linkEmbeddedFiles(QString &body) const;
    std::shared_ptr<const ComposedMessage> compose(const MessageParts &parts, const BodyLinks &links) const;

private:
    QStringList messageHeaderRows(const MessageParts &parts, const QDateTime &now, const QString &messageId) const;
    QString headerBlock(const MessageParts &parts, const QDateTime &now, const QString &boundary, bool related,
                        const QString &charset, const QString &transferEncoding, const QString &messageId) const;
    MessageData bodyStructure(const QString &headers, const QByteArray &body,
                              const std::vector<DataPiece> &fileParts) const;
    MessageData alternativeStructure(const QStringList &headerRows, const EncodedBody &text, const EncodedBody &html,
                                     const BodyLinks &links, const QString &boundary) const;
    std::vector<DataPiece> fileParts(const QString &boundary, const BodyLinks &links) const;
    QDateTime localNow() const;
    QString dateLine(const QDateTime &now) const;
    QString newMessageId() const;

    MessageSettings m_settings;
    std::vector<std::shared_ptr<const EncodedFile>> m_files;
    ComposerClock m_clock;
    int m_timeZoneBiasMinutes = 0;
    QString m_timeZoneOffset;
};

} // namespace tramelo
