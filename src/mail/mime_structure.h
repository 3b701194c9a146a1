#pragma once

#include "composed_message.h"
#include "embedded_files.h"
#include "encoded_files.h"
#include "message_body.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace tramelo {

// Bytes of a message as they go on the wire; each piece starts a line.
DataPiece wirePiece(const QByteArray &bytes, int part = -1);

// Header rows, each folded and ended by CR LF.
QByteArray headerLines(const QStringList &rows);

// How a reader shows a file: as an attachment, or inline where the HTML
// body links it.
enum class FileDisposition { Attachment, Inline };

// File `part` as a MIME part: "--" and the boundary, its headers (with its
// Content-ID when asked), an empty line, its encoded bytes (shared with the
// run) and one more CR LF.
void appendFilePart(std::vector<DataPiece> &pieces, const std::shared_ptr<const EncodedFile> &file, int part,
                    const QString &boundary, FileDisposition disposition, bool withContentId);

// An HTML body with its text alternative, and the files that go with them.
struct AlternativeParts {
    EncodedBody text;
    EncodedBody html;
    QString contentBase; // empty: none
    const std::vector<std::shared_ptr<const EncodedFile>> &files;
    const BodyLinks &links;
};

// The message's structure: multipart/alternative, the text first, then the
// HTML, itself in multipart/related with the files it shows (inline, by
// Content-ID) when it shows some; inside multipart/mixed, with the other
// files as attachments, when there are others.
struct AlternativeBody {
    QStringList headerRows;         // the message's Content-Type
    std::vector<DataPiece> pieces;  // what follows the empty line after the headers
};
AlternativeBody alternativeBody(const AlternativeParts &parts, const QString &boundary);

} // namespace tramelo
