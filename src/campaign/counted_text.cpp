#include "counted_text.h"

namespace tramelo {

QString countedText(qint64 count, const QString &singular, const QString &plural)
{
    return QString::number(count) + u' ' + (count == 1 ? singular : plural);
}

} // namespace tramelo
