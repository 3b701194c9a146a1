#include "html_entities.h"

#include "windows1252.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace tramelo {
namespace {

// HTML 4's named references as runs of consecutive code points, "-" for a
// code point that has no name.
struct NameRun {
    char32_t first;
    const char *names;
};

const NameRun nameRuns[] = {
    {34, "quot"}, {38, "amp apos"}, {60, "lt - gt"},
    {160, "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg plusmn sup2 sup3 "
          "acute micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 iquest Agrave Aacute Acirc Atilde Auml "
          "Aring AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute Icirc Iuml ETH Ntilde Ograve Oacute Ocirc Otilde "
          "Ouml times Oslash Ugrave Uacute Ucirc Uuml Yacute THORN szlig agrave aacute acirc atilde auml aring aelig "
          "ccedil egrave eacute ecirc euml igrave iacute icirc iuml eth ntilde ograve oacute ocirc otilde ouml divide "
          "oslash ugrave uacute ucirc uuml yacute thorn yuml"},
    {338, "OElig oelig"}, {352, "Scaron scaron"}, {376, "Yuml"}, {402, "fnof"}, {710, "circ"}, {732, "tilde"},
    {913, "Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota Kappa Lambda Mu Nu Xi Omicron Pi Rho - Sigma Tau "
          "Upsilon Phi Chi Psi Omega"},
    {945, "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigmaf sigma tau "
          "upsilon phi chi psi omega"},
    {977, "thetasym upsih"}, {982, "piv"}, {8194, "ensp emsp"}, {8201, "thinsp"}, {8204, "zwnj zwj lrm rlm"},
    {8211, "ndash mdash"}, {8216, "lsquo rsquo sbquo - ldquo rdquo bdquo - dagger Dagger bull"}, {8230, "hellip"},
    {8240, "permil"}, {8242, "prime Prime"}, {8249, "lsaquo rsaquo"}, {8254, "oline"}, {8260, "frasl"},
    {8364, "euro"}, {8465, "image"}, {8472, "weierp"}, {8476, "real"}, {8482, "trade"}, {8501, "alefsym"},
    {8592, "larr uarr rarr darr harr"}, {8629, "crarr"}, {8656, "lArr uArr rArr dArr hArr"},
    {8704, "forall - part exist - empty - nabla isin notin - ni"}, {8719, "prod - sum minus"}, {8727, "lowast"},
    {8730, "radic"}, {8733, "prop infin - ang"}, {8743, "and or cap cup int"}, {8756, "there4"}, {8764, "sim"},
    {8773, "cong"}, {8776, "asymp"}, {8800, "ne equiv - - le ge"}, {8834, "sub sup nsub - sube supe"},
    {8853, "oplus - otimes"}, {8869, "perp"}, {8901, "sdot"}, {8968, "lceil rceil lfloor rfloor"},
    {9001, "lang rang"}, {9674, "loz"}, {9824, "spades - - clubs - hearts diams"},
};

const QHash<QString, char32_t> &namedReferences()
{
    static const QHash<QString, char32_t> table = [] {
        QHash<QString, char32_t> names;
        for (const NameRun &run : nameRuns) {
            char32_t code = run.first;
            for (const QString &name : QString::fromLatin1(run.names).split(u' ')) {
                if (name != u"-")
                    names.insert(name, code);
                ++code;
            }
        }
        return names;
    }();
    return table;
}

QString characterOf(char32_t code)
{
    if (code >= 128 && code <= 159)
        return fromWindows1252(QByteArray(1, char(code)));
    if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        code = 0xFFFD;
    return QString::fromUcs4(&code, 1);
}

// A digit's value, or -1.
int digitValue(QChar c, bool hex)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (hex && u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (hex && u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool isAsciiLetterOrDigit(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// The reference that starts at the "&" at `at`: its text and its length.
std::optional<std::pair<QString, qsizetype>> referenceAt(QStringView text, qsizetype at)
{
    constexpr qsizetype longestName = 10;
    qsizetype i = at + 1;
    if (i < text.size() && text[i] == u'#') {
        const bool hex = i + 1 < text.size() && (text[i + 1] == u'x' || text[i + 1] == u'X');
        i += hex ? 2 : 1;
        const qsizetype digits = i;
        char32_t code = 0;
        // Past U+10FFFF the number stops growing: it stands for U+FFFD anyway.
        for (; i < text.size() && digitValue(text[i], hex) >= 0; ++i)
            code = std::min<char32_t>(code * (hex ? 16 : 10) + char32_t(digitValue(text[i], hex)), 0x110000);
        if (i == digits)
            return std::nullopt;
        if (i < text.size() && text[i] == u';')
            ++i;
        return std::pair{characterOf(code), i - at};
    }
    while (i < text.size() && i - at <= longestName && isAsciiLetterOrDigit(text[i]))
        ++i;
    if (i >= text.size() || text[i] != u';')
        return std::nullopt;
    const auto found = namedReferences().constFind(text.sliced(at + 1, i - at - 1).toString());
    if (found == namedReferences().constEnd())
        return std::nullopt;
    return std::pair{characterOf(*found), i + 1 - at};
}

} // namespace

QString decodeCharacterReferences(QStringView text)
{
    QString decoded;
    decoded.reserve(text.size());
    qsizetype done = 0;
    for (qsizetype at = text.indexOf(u'&'); at >= 0; at = text.indexOf(u'&', at + 1)) {
        const auto reference = referenceAt(text, at);
        if (!reference)
            continue;
        decoded += text.sliced(done, at - done);
        decoded += reference->first;
        done = at + reference->second;
        at = done - 1;
    }
    decoded += text.sliced(done);
    return decoded;
}

} // namespace tramelo
