#include "address_validation.h"

#include "plain_text.h"

#include <QHostAddress>
#include <QList>

#include <algorithm>

namespace tramelo {
namespace {

constexpr qsizetype maxLabelLength = 63;

bool isLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isLabel(QStringView label)
{
    if (label.isEmpty() || label.size() > maxLabelLength || label.front() == u'-' || label.back() == u'-')
        return false;
    for (const QChar c : label) {
        if (!isLetter(c) && !isDigit(c) && c != u'-')
            return false;
    }
    return true;
}

bool isTopLevelLabel(QStringView label)
{
    if (label.startsWith(u"xn--", Qt::CaseInsensitive))
        return label.size() > 4 && isLabel(label);
    if (label.size() < 2 || label.size() > maxLabelLength)
        return false;
    for (const QChar c : label) {
        if (!isLetter(c))
            return false;
    }
    return true;
}

bool isDomainName(QStringView name)
{
    const QList<QStringView> labels = name.split(u'.');
    if (labels.size() < 2 || !isTopLevelLabel(labels.last()))
        return false;
    for (const QStringView label : labels) {
        if (!isLabel(label))
            return false;
    }
    return true;
}

// RFC 5321's address literals: four decimal numbers of 0 to 255, or an IPv6
// address after "IPv6:".
bool isAddressLiteral(QStringView text)
{
    if (text.size() < 3 || text.front() != u'[' || text.back() != u']')
        return false;
    const QStringView inside = text.sliced(1, text.size() - 2);
    if (inside.startsWith(u"IPv6:", Qt::CaseInsensitive)) {
        const QStringView address = inside.sliced(5);
        for (const QChar c : address) {
            if (!isDigit(c) && !(c >= u'a' && c <= u'f') && !(c >= u'A' && c <= u'F') && c != u':' && c != u'.')
                return false;
        }
        return QHostAddress(address.toString()).protocol() == QAbstractSocket::IPv6Protocol;
    }
    const QList<QStringView> parts = inside.split(u'.');
    if (parts.size() != 4)
        return false;
    for (const QStringView part : parts) {
        if (part.isEmpty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), isDigit) || part.toInt() > 255)
            return false;
    }
    return true;
}

bool isAtomCharacter(QChar c)
{
    return isLetter(c) || isDigit(c) || QStringView(u"!#$%&'*+-/=?^_`{|}~").contains(c);
}

bool isDotAtom(QStringView text)
{
    const QList<QStringView> atoms = text.split(u'.');
    for (const QStringView atom : atoms) {
        if (atom.isEmpty() || !std::all_of(atom.begin(), atom.end(), isAtomCharacter))
            return false;
    }
    return true;
}

// Where the quoted string at the start of the text ends (after its closing
// quote), or -1.
qsizetype quotedStringEnd(QStringView text)
{
    if (!text.startsWith(u'"'))
        return -1;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == u'"')
            return i > 1 ? i + 1 : -1;
        if (text[i] == u'\\' && ++i == text.size())
            return -1;
    }
    return -1;
}

bool isEnvelopeSafe(QStringView address)
{
    for (const QChar c : address) {
        const char16_t code = c.unicode();
        if (code < 32 || code >= 127 || code == u'<' || code == u'>' || code == u',' || code == u';')
            return false;
    }
    return true;
}

} // namespace

bool isIPv4Literal(QStringView text)
{
    const QList<QStringView> parts = text.split(u'.');
    if (parts.size() != 4)
        return false;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const std::optional<long long> value = readWholeNumber(parts[i]);
        if (!value)
            return false;
        if (*value > (i == 0 ? 239 : 255))
            return false;
    }
    return true;
}

bool isValidDomain(QStringView text)
{
    const QString name = trimBlanks(text);
    return isIPv4Literal(name) || isDomainName(name);
}

bool isValidEmailAddress(QStringView address)
{
    const QString trimmed = trimBlanks(address);
    const QStringView text(trimmed);
    if (!isEnvelopeSafe(text))
        return false;
    const qsizetype quoted = quotedStringEnd(text);
    const qsizetype at = quoted >= 0 ? quoted : text.indexOf(u'@');
    if (at <= 0 || at >= text.size() || text[at] != u'@')
        return false;
    const QStringView local = text.first(at);
    const QStringView domain = text.sliced(at + 1);
    if (quoted < 0 && !isDotAtom(local))
        return false;
    return isDomainName(domain) || isAddressLiteral(domain);
}

} // namespace tramelo
