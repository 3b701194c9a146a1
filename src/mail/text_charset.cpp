#include "text_charset.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace tramelo {
namespace {

constexpr qsizetype declarationReach = 4096;

} // namespace

bool fitsLatin1(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x80 || (c.unicode() >= 0xA0 && c.unicode() <= 0xFF);
    });
}

bool declaresUtf8(QStringView html)
{
    // Either form puts "charset", "=" and the name inside the meta tag.
    static const QRegularExpression declaration(
        QStringLiteral("<meta\\b[^>]*\\bcharset\\s*=\\s*[\"']?\\s*utf-?8\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return declaration.match(html.first(std::min(html.size(), declarationReach))).hasMatch();
}

std::optional<QString> strictUtf8(QByteArrayView bytes)
{
    // A leading U+FEFF is part of the text, not a mark to drop.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace tramelo
