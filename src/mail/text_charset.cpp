#include "text_charset.h"

#include <QStringDecoder>

#include <algorithm>

namespace tramelo {
namespace {

constexpr qsizetype declarationReach = 4096;

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// Inside one meta tag: "charset", blanks, "=", blanks, a quote or not,
// blanks, then "utf-8" or "utf8" as a whole word, in any letter case. Either
// form of the declaration (charset="..." or the http-equiv content's
// "charset=...") puts it there. Read by hand: every message's body asks.
bool tagDeclaresUtf8(QStringView tag)
{
    constexpr QStringView charset = u"charset";
    for (qsizetype at = tag.indexOf(charset, 0, Qt::CaseInsensitive); at >= 0;
         at = tag.indexOf(charset, at + charset.size(), Qt::CaseInsensitive)) {
        if (at > 0 && isWordCharacter(tag[at - 1]))
            continue;
        qsizetype i = at + charset.size();
        const auto skipBlanks = [&] {
            while (i < tag.size() && tag[i].isSpace())
                ++i;
        };
        const auto take = [&](QStringView text) {
            if (!tag.sliced(i).startsWith(text, Qt::CaseInsensitive))
                return false;
            i += text.size();
            return true;
        };
        skipBlanks();
        if (!take(u"="))
            continue;
        skipBlanks();
        take(u"\"") || take(u"'");
        skipBlanks();
        if (!take(u"utf"))
            continue;
        take(u"-");
        if (take(u"8") && (i == tag.size() || !isWordCharacter(tag[i])))
            return true;
    }
    return false;
}

} // namespace

bool fitsLatin1(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x80 || (c.unicode() >= 0xA0 && c.unicode() <= 0xFF);
    });
}

bool declaresUtf8(QStringView html)
{
    const QStringView head = html.first(std::min(html.size(), declarationReach));
    constexpr QStringView meta = u"<meta";
    // Each "<" is looked at, which is much quicker than a search that folds
    // the letter case of every character.
    for (qsizetype tag = head.indexOf(u'<'); tag >= 0; tag = head.indexOf(u'<', tag + 1)) {
        if (!head.sliced(tag).startsWith(meta, Qt::CaseInsensitive))
            continue;
        const qsizetype nameEnd = tag + meta.size();
        if (nameEnd < head.size() && isWordCharacter(head[nameEnd]))
            continue; // "<metadata" and the like
        const qsizetype tagEnd = head.indexOf(u'>', nameEnd);
        if (tagDeclaresUtf8(head.sliced(nameEnd, (tagEnd < 0 ? head.size() : tagEnd) - nameEnd)))
            return true;
    }
    return false;
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

bool isStrictUtf8(QByteArrayView bytes)
{
    return bytes.isValidUtf8();
}

} // namespace tramelo
