#include "address_validation.h"

#include "plain_text.h"

#include <QList>

namespace tramelo {
namespace {

constexpr char topLevelDomains[] =
    "AC AD AE AERO AF AG AI AL AM AN AO AQ AR ARPA AS ASIA AT AU AW AX AZ BA BB BD BE BF BG BH BI "
    "BIZ BJ BM BN BO BR BS BT BV BW BY BZ CA CAT CC CD CF CG CH CI CK CL CM CN CO COM COOP CR CU CV "
    "CX CY CZ DE DJ DK DM DO DZ EC EDU EE EG EH ER ES ET EU FI FJ FK FM FO FR GA GB GD GE GF GG GH "
    "GI GL GM GN GOV GP GQ GR GS GT GU GW GY HK HM HN HR HT HU ID IE IL IM IN INFO INT IO IQ IR IS "
    "IT JE JM JO JOBS JP KE KG KH KI KM KN KP KR KW KY KZ LA LB LC LI LK LR LS LT LU LV LY MA MC MD "
    "ME MF MG MH MIL MK ML MM MN MO MOBI MP MQ MR MS MT MU MUSEUM MV MW MX MY MZ NA NAME NC NE NET "
    "NF NG NI NL NO NP NR NU NZ OM ORG PA PE PF PG PH PK PL PM PN PR PRO PS PT PW PY QA RE RO RS RU "
    "RW SA SB SC SD SE SG SH SI SJ SK SL SM SN SO SR ST SU SV SY SZ TC TD TEL TF TG TH TJ TK TL TM "
    "TN TO TP TR TRAVEL TT TV TW TZ UA UG UK UM US UY UZ VA VC VE VG VI VN VU WF WS XN YE YT YU ZA "
    "ZM ZW";

static_assert(sizeof(topLevelDomains) - 1 == 853, "the top-level-domain text has 853 characters");

QString upperAscii(QStringView text)
{
    QString upper = text.toString();
    for (QChar &c : upper) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return upper;
}

} // namespace

QLatin1String topLevelDomainText()
{
    return QLatin1String(topLevelDomains, qsizetype(sizeof(topLevelDomains) - 1));
}

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
    const QString name = upperAscii(trimBlanks(text));
    if (isIPv4Literal(name))
        return true;
    const QList<QStringView> labels = QStringView(name).split(u'.');
    // The list is searched as one text: an empty last label (a name ending
    // in ".") is found at its first position and passes.
    return labels.size() >= 2 && topLevelDomainText().contains(labels.last(), Qt::CaseSensitive);
}

bool isValidEmailAddress(QStringView address)
{
    const QString trimmed = trimBlanks(address);
    for (QChar c : trimmed) {
        const char16_t code = c.unicode();
        if (code <= 32 || code >= 127 || code == u'<' || code == u'>' || code == u',' || code == u';' || code == u'"')
            return false;
    }
    const QList<QStringView> parts = address.split(u'@');
    if (parts.size() != 2)
        return false;
    return isValidDomain(parts[1]);
}

} // namespace tramelo
