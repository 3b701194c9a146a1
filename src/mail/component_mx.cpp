#include "clsEnviarCorreu.h"

#include "mx_query.h"
#include "plain_text.h"

namespace tramelo {

QString clsEnviarCorreu::MXQuery(const QString &IPDomain)
{
    const QString domain = trimBlanks(IPDomain);
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
