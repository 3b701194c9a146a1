#include "plain_text.h"

#include <algorithm>

namespace tramelo {

QString trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin).toString();
}

bool isBlank(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' '; });
}

std::optional<long long> readWholeNumber(QStringView text)
{
    constexpr long long beyond32Bits = 1LL << 32;
    const QString number = trimBlanks(text);
    qsizetype i = 0;
    const bool negative = number.startsWith(u'-');
    if (negative || number.startsWith(u'+'))
        ++i;
    if (i == number.size())
        return std::nullopt;
    long long value = 0;
    for (; i < number.size(); ++i) {
        if (number[i] < u'0' || number[i] > u'9')
            return std::nullopt;
        value = std::min(value * 10 + (number[i].unicode() - u'0'), beyond32Bits);
    }
    return negative ? -value : value;
}

} // namespace tramelo
