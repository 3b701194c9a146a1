#include "component_support.h"

#include "plain_text.h"

#include <cmath>
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

QString mimeBoundaryAt(const QDateTime &localTime)
{
    const auto lastEightHexDigits = [](quint64 value) {
        return QStringLiteral("%1").arg(value, 8, 16, QChar(u'0')).toUpper().right(8);
    };
    const qint64 dayNumber = QDate(1899, 12, 30).daysTo(localTime.date());
    const QTime time = localTime.time();
    const double dayFraction = (time.hour() * 3600 + time.minute() * 60 + time.second()) / 86400.0;
    const auto timeNumber = static_cast<quint64>(std::nearbyint(dayFraction * 100000000.0));
    return QStringLiteral("----_=_NextPart_000_") + lastEightHexDigits(quint64(dayNumber)) + u'.'
        + lastEightHexDigits(timeNumber);
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
