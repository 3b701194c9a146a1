#include "body_preparation.h"

#include "campaign.h"
#include "campaign_view.h"
#include "plain_text.h"
#include "project_paths.h"
#include "text_charset.h"
#include "windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace tramelo {
namespace {

// Typed text with line breaks is a body, never the name of a body file.
bool hasLineBreak(const QString &text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

bool isExistingFile(const QString &path)
{
    // A name holding a NUL names no file (Qt would only warn about it).
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    return QFileInfo(path).isFile();
}

// The whole body file as text, or nothing when BodySource names no readable
// file.
std::optional<QString> readBodyFile(const QString &source)
{
    if (isBlank(source) || hasLineBreak(source) || !isExistingFile(source))
        return std::nullopt;
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return decodeBodyFile(bytes);
}

// Relative image paths in the body are written against the body file's
// folder. They are listed resolved against it, so that the mail component
// opens them wherever the program runs; the current folder never changes.
// A body named without any folder leaves them relative to the current one.
QString folderOf(const QString &bodyPath)
{
    if (hasLineBreak(bodyPath))
        return {};
    const qsizetype lastSeparator = std::max(bodyPath.lastIndexOf(u'/'), bodyPath.lastIndexOf(u'\\'));
    return bodyPath.left(lastSeparator + 1);
}

QString imagePath(const QString &bodyFolder, const QString &path)
{
    return QDir::isRelativePath(path) ? bodyFolder + path : path;
}

// For every occurrence of "src", in any letter case and inside any word, the
// text between the next two double quotes. Consecutive occurrences before
// the same pair of quotes share it, which keeps the scan linear.
QStringList quotedTextsAfterSrc(const QString &html)
{
    QStringList texts;
    qsizetype open = -1;
    qsizetype close = -1;
    for (qsizetype p = html.indexOf(u"src", 0, Qt::CaseInsensitive); p >= 0;
         p = html.indexOf(u"src", p + 1, Qt::CaseInsensitive)) {
        if (open < p) {
            open = html.indexOf(u'"', p);
            close = open < 0 ? -1 : html.indexOf(u'"', open + 1);
            if (close < 0)
                break; // no pair of quotes after this occurrence, nor after any later one
        }
        texts.append(html.mid(open + 1, close - open - 1));
    }
    return texts;
}

bool isWebAddress(const QString &path)
{
    return path.left(5).toUpper() == u"HTTP:";
}

// An address of the web or of another scheme (http:, cid:, data:), or one
// starting with "//": not a local file. A single letter before ":" is a drive.
bool isUrl(const QString &source)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return source.startsWith(QLatin1String("//")) || scheme.match(source).hasMatch();
}

// The values of the src attributes of the HTML, in double or single quotes.
QStringList sourceAttributes(const QString &html)
{
    static const QRegularExpression attribute(QStringLiteral("(?<![\\w-])src\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"),
                                              QRegularExpression::CaseInsensitiveOption);
    QStringList values;
    for (QRegularExpressionMatchIterator it = attribute.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        values << (match.capturedStart(1) >= 0 ? match.captured(1) : match.captured(2));
    }
    return values;
}

} // namespace

QString decodeBodyFile(QByteArrayView bytes)
{
    constexpr QByteArrayView byteOrderMark = "\xEF\xBB\xBF";
    constexpr qsizetype declarationReach = 4096;
    if (bytes.startsWith(byteOrderMark))
        return QString::fromUtf8(bytes.sliced(byteOrderMark.size()));
    // The declaration is ASCII in any ASCII-compatible encoding.
    if (declaresUtf8(QString::fromLatin1(bytes.first(std::min(bytes.size(), declarationReach)))))
        return QString::fromUtf8(bytes);
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        if (std::optional<QString> text = strictUtf8(bytes))
            return *std::move(text);
    }
    return fromWindows1252(bytes);
}

void RefreshBodyPreview(Campaign &campaign)
{
    BusyPointer busy(campaign.view());
    CampaignSettings &settings = campaign.settings();
    const QString source = settings.text(Setting::BodySource);

    QString page;
    QString bodyText;
    if (settings.bodyKind() == BodyKind::File) {
        const QString file = resolvedCampaignPath(campaign, source);
        if (const std::optional<QString> contents = readBodyFile(file)) {
            page = QFileInfo(file).absoluteFilePath();
            bodyText = *contents;
        }
    } else {
        bodyText = source;
    }
    campaign.view().showBodyPage(page);
    settings.setText(Setting::BodyText, bodyText);
}

QString BuildAttachmentList(Campaign &campaign)
{
    const CampaignSettings &settings = campaign.settings();
    QString list;
    const auto append = [&list](const QString &item) {
        if (!isBlank(list))
            list += u';';
        list += item;
    };

    if (settings.bodyKind() == BodyKind::File) {
        const QString folder = folderOf(resolvedCampaignPath(campaign, settings.text(Setting::BodySource)));
        for (const QString &path : quotedTextsAfterSrc(settings.text(Setting::BodyText))) {
            if (isWebAddress(path))
                continue;
            const QString image = imagePath(folder, path);
            if (isExistingFile(image))
                append(image);
        }
    }
    const QString attachments = resolvedAttachmentList(campaign, settings.text(Setting::AttachmentList));
    if (!isBlank(attachments))
        append(attachments);
    return list;
}


QStringList missingBodyImages(const Campaign &campaign)
{
    const CampaignSettings &settings = campaign.settings();
    QStringList missing;
    if (settings.bodyKind() != BodyKind::File)
        return missing;
    const QString folder = folderOf(resolvedCampaignPath(campaign, settings.text(Setting::BodySource)));
    for (const QString &source : sourceAttributes(settings.text(Setting::BodyText))) {
        const QString path = trimBlanks(source);
        if (path.isEmpty() || path.startsWith(u'#') || isUrl(path))
            continue;
        const QString image = imagePath(folder, path);
        if (!isExistingFile(image) && !missing.contains(image))
            missing << image;
    }
    return missing;
}

} // namespace tramelo
