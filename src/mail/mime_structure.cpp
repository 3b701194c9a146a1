#include "mime_structure.h"

#include "header_encoding.h"
#include "message_data_writer.h"
#include "plain_text.h"
#include "windows1252.h"

namespace tramelo {
namespace {

// A multipart inside another has a boundary of its own that no other
// begins with: "..._NextPart_001_..." inside "..._NextPart_000_...".
QString nestedBoundary(const QString &boundary, int level)
{
    return QString(boundary).replace(QLatin1String("_000_"), QStringLiteral("_%1_").arg(level, 3, 10, QChar(u'0')));
}

QStringList multipartRows(const QString &subtype, const QString &boundary, const QString &type = {})
{
    QStringList rows = {QStringLiteral("Content-Type: multipart/") + subtype + u';'};
    if (!type.isEmpty())
        rows << QStringLiteral("\ttype=\"") + type + QStringLiteral("\";");
    rows << QStringLiteral("\tboundary=\"") + boundary + u'"';
    return rows;
}

QStringList textRows(const QString &subtype, const EncodedBody &body)
{
    return {QStringLiteral("Content-Type: text/") + subtype + u';', QStringLiteral("\tcharset=\"") + body.charset + u'"',
            QStringLiteral("Content-Transfer-Encoding: ") + body.transferEncoding};
}

} // namespace

DataPiece wirePiece(const QByteArray &bytes, int part)
{
    return {MessageDataWriter().toWire(bytes), nullptr, part};
}

QByteArray headerLines(const QStringList &rows)
{
    QString text;
    for (const QString &row : rows)
        text += foldHeaderField(row) + crlf;
    return toWindows1252(text);
}

void appendFilePart(std::vector<DataPiece> &pieces, const std::shared_ptr<const EncodedFile> &file, int part,
                    const QString &boundary, FileDisposition disposition, bool withContentId)
{
    const QString name = withoutLineBreaks(file->name());
    QStringList headers = {
        QStringLiteral("--") + boundary,
        QStringLiteral("Content-Type: ") + contentTypeOf(name, QStringLiteral("application/octet-stream")) + u';',
        u'\t' + nameParameter(name),
        QStringLiteral("Content-Transfer-Encoding: base64"),
        disposition == FileDisposition::Inline ? QStringLiteral("Content-Disposition: inline;")
                                               : QStringLiteral("Content-Disposition: attachment;"),
        u'\t' + filenameParameter(name),
    };
    if (withContentId)
        headers << QStringLiteral("Content-ID: <") + contentId(name) + u'>';
    headers << QString();
    pieces.push_back(wirePiece(headerLines(headers), part));
    pieces.push_back({{}, file, -1});
    pieces.push_back(wirePiece("\r\n"));
}

AlternativeBody alternativeBody(const AlternativeParts &parts, const QString &boundary)
{
    std::vector<int> shown;
    std::vector<int> attached;
    for (int i = 0; i < int(parts.files.size()); ++i)
        (parts.links.related && parts.links.embedded.value(i) ? shown : attached).push_back(i);
    const QString alternative = attached.empty() ? boundary : nestedBoundary(boundary, 1);
    const QString related = nestedBoundary(boundary, 2);

    AlternativeBody body;
    body.headerRows = attached.empty() ? multipartRows(QStringLiteral("alternative"), alternative)
                                       : multipartRows(QStringLiteral("mixed"), boundary);
    QStringList lead = {QStringLiteral("This is a multi-part message in MIME format."), QString()};
    if (!attached.empty())
        lead << QStringLiteral("--") + boundary << multipartRows(QStringLiteral("alternative"), alternative) << QString();
    lead << QStringLiteral("--") + alternative << textRows(QStringLiteral("plain"), parts.text) << QString();

    QStringList htmlRows = {QStringLiteral("--") + alternative};
    if (!shown.empty())
        htmlRows << multipartRows(QStringLiteral("related"), related, QStringLiteral("text/html")) << QString()
                 << QStringLiteral("--") + related;
    htmlRows << textRows(QStringLiteral("html"), parts.html);
    if (!parts.contentBase.isEmpty())
        htmlRows << QStringLiteral("Content-Base: \"") + parts.contentBase + u'"';
    htmlRows << QString();
    // The CR LF before each boundary belongs to it: the text keeps its last line end.
    body.pieces.push_back(wirePiece(headerLines(lead) + parts.text.bytes + "\r\n" + headerLines(htmlRows) + parts.html.bytes));

    for (const int i : shown)
        appendFilePart(body.pieces, parts.files[i], i, related, FileDisposition::Inline, true);
    QStringList closing;
    if (!shown.empty())
        closing << QStringLiteral("--") + related + QStringLiteral("--");
    closing << QStringLiteral("--") + alternative + QStringLiteral("--");
    body.pieces.push_back(wirePiece(headerLines(closing)));
    if (attached.empty())
        return body;
    for (const int i : attached)
        appendFilePart(body.pieces, parts.files[i], i, boundary, FileDisposition::Attachment, false);
    body.pieces.push_back(wirePiece(headerLines({QStringLiteral("--") + boundary + QStringLiteral("--")})));
    return body;
}

} // namespace tramelo
