#pragma once

#include "encoded_files.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace tramelo {

// A piece of message data as it goes on the wire: bytes of this message
// (its header block and body, a file's part headers, a boundary), or a file
// encoded once for the run. Every piece starts at the start of a line.
struct DataPiece {
    QByteArray bytes;
    std::shared_ptr<const EncodedFile> file;
    int part = -1; // the file whose part begins here, if one does

    qint64 size() const { return file ? file->size() : bytes.size(); }
};

// What goes between the server's 354 and the final ".", dot-stuffed.
struct MessageData {
    std::vector<DataPiece> pieces;
    qint64 size = 0;           // exact bytes on the wire, the final "." excluded
    bool eightBitMime = false; // the body goes as 8-bit UTF-8: MAIL FROM says BODY=8BITMIME
};

// An attached file as the message carries it.
struct AttachedPart {
    QString name;
    bool embedded = false; // linked from the HTML body
};

// A finished message, before any session carries it. How its body goes
// depends on one thing the server says, whether it takes 8-bit data
// (8BITMIME): a body beyond Latin-1 then goes as 8-bit UTF-8, otherwise
// as quoted-printable or base64, so the message holds both forms when they
// differ, each with its exact size.
class ComposedMessage
{
public:
    ComposedMessage(QString messageId, MessageData eightBitMime, std::optional<MessageData> sevenBit,
                    QList<AttachedPart> parts, QString failure = {})
        : m_messageId(std::move(messageId))
        , m_eightBitMime(std::move(eightBitMime))
        , m_sevenBit(std::move(sevenBit))
        , m_parts(std::move(parts))
        , m_failure(std::move(failure))
    {
    }

    QString messageId() const { return m_messageId; }
    const MessageData &data(bool serverTakesEightBit) const
    {
        return serverTakesEightBit || !m_sevenBit ? m_eightBitMime : *m_sevenBit;
    }
    const QList<AttachedPart> &parts() const { return m_parts; }
    // Why the message must not be sent (it could not be signed, or a header
    // line would be too long); empty when it may.
    QString failure() const { return m_failure; }

private:
    QString m_messageId;
    MessageData m_eightBitMime;
    std::optional<MessageData> m_sevenBit; // none when it is the same
    QList<AttachedPart> m_parts;
    QString m_failure;
};

} // namespace tramelo
