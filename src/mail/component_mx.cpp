#include "clsEnviarCorreu.h"

#include "mx_query.h"

namespace tramelo {
namespace {

QString trimmedOfBlanks(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text[start] == QLatin1Char(' '))
        ++start;
    while (end > start && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

} // namespace

QString clsEnviarCorreu::MXQuery(const QString &IPDomain)
{
    const QString domain = trimmedOfBlanks(IPDomain);
    Q_EMIT Status(domain.isEmpty() ? QStringLiteral("Performing MX Query")
                                   : QStringLiteral("Performing MX Query, Domain: ") + domain);
    const modMXQuery::MxQueryResult result = modMXQuery::queryMailExchanger(domain);
    if (result.error) {
        Q_EMIT Status(result.error->description);
        return {};
    }
    return result.exchanger;
}

} // namespace tramelo
