#include "campaign_numbers.h"

#include "campaign_settings.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <string>

namespace tramelo {
namespace {

bool isSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Collects the characters that form the number, without the skipped blanks,
// into a plain C-locale text that strtod reads; end is where reading stopped.
std::string numberPrefix(QStringView text, qsizetype &end)
{
    std::string number;
    qsizetype i = 0;
    const auto skip = [&] {
        while (i < text.size() && isSkipped(text[i]))
            ++i;
    };
    const auto takeDigits = [&] {
        bool any = false;
        for (skip(); i < text.size() && isDigit(text[i]); skip()) {
            number += char(text[i++].unicode());
            any = true;
        }
        return any;
    };

    skip();
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        number += char(text[i++].unicode());
    bool digits = takeDigits();
    if (i < text.size() && text[i] == u'.') {
        number += '.';
        ++i;
        digits = takeDigits() || digits;
    }
    if (!digits)
        return {};
    skip();
    end = i;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        std::string exponent = "e";
        qsizetype j = i + 1;
        while (j < text.size() && isSkipped(text[j]))
            ++j;
        if (j < text.size() && (text[j] == u'-' || text[j] == u'+'))
            exponent += char(text[j++].unicode());
        bool exponentDigits = false;
        for (; j < text.size(); ++j) {
            if (isSkipped(text[j]))
                continue;
            if (!isDigit(text[j]))
                break;
            exponent += char(text[j].unicode());
            exponentDigits = true;
        }
        if (exponentDigits) {
            number += exponent;
            end = j;
        }
    }
    return number;
}

} // namespace

double readNumber(QStringView text)
{
    // from_chars ignores the process locale, which may use a decimal comma.
    qsizetype end = 0;
    std::string number = numberPrefix(text, end);
    if (!number.empty() && number.front() == '+')
        number.erase(0, 1);
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (number.find("e-") != std::string::npos)
            return 0.0;
        return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return result.ec == std::errc() ? value : 0.0;
}

bool isOneNumber(QStringView text)
{
    qsizetype end = 0;
    if (numberPrefix(text, end).empty())
        return false;
    while (end < text.size() && isSkipped(text[end]))
        ++end;
    return end == text.size();
}

double roundHalfEven(double value)
{
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return rounded;
}

long long groupSizeOf(const CampaignSettings &settings)
{
    if (!settings.isChecked(Check::GroupSendings))
        return 1;
    // Saturated one step beyond the range, so that validation can tell.
    const double size = roundHalfEven(readNumber(settings.text(Setting::GroupSize)));
    if (size > double(maxGroupSize))
        return maxGroupSize + 1;
    if (size < -double(maxGroupSize))
        return -maxGroupSize;
    return static_cast<long long>(size);
}

long long waitMillisecondsOf(const CampaignSettings &settings)
{
    const double ms = roundHalfEven(readNumber(settings.text(Setting::WaitSeconds)) * 1000.0);
    if (ms > double(maxWaitMilliseconds))
        return maxWaitMilliseconds + 1;
    if (ms < 0)
        return 0;
    return static_cast<long long>(ms);
}

} // namespace tramelo
