#include "component_support.h"

#include "plain_text.h"

#include <cstdlib>
#include <ctime>

namespace tramelo {

QString timeZoneOffsetText(int biasMinutes)
{
    const long long magnitude = std::llabs(static_cast<long long>(biasMinutes));
    return QStringLiteral("%1%2%3")
        .arg(biasMinutes <= 0 ? QLatin1Char('+') : QLatin1Char('-'))
        .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

int localTimeZoneBiasMinutes()
{
    ::tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!::localtime_r(&now, &local))
        return 0;
    return int(-local.tm_gmtoff / 60);
}

QString fileNameOfPath(QStringView path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype backslash = path.lastIndexOf(u'\\');
    return path.sliced(qMax(slash, backslash) + 1).toString();
}

QString normalizedContentBase(const QString &value)
{
    if (value.isEmpty())
        return value;
    QString base = value;
    base.replace(u'\\', u'/');
    if (!base.contains(QLatin1String("http://"), Qt::CaseInsensitive))
        base.prepend(QLatin1String("http://"));
    if (!base.endsWith(u'/'))
        base.append(u'/');
    return base;
}

QString cleanListElement(const QString &element)
{
    QString cleaned = trimBlanks(element);
    cleaned.remove(crlf);
    cleaned.remove(u'\t');
    return cleaned;
}

} // namespace tramelo
