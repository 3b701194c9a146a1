#pragma once

#include <QStringView>

#include <optional>

namespace tramelo {

class CampaignSettings;

// Reads a number the way the campaign's boxes are read: decimal point ".",
// spaces, tabs and line feeds skipped wherever they occur, reading stops at
// the first character that cannot continue the number; a text that does not
// begin with a number reads 0.
double readNumber(QStringView text);

// Whether readNumber reads the whole text, blanks aside: "abc", "3 dies",
// "1e" and "." are no number.
bool isOneNumber(QStringView text);

// Nearest whole number, a half going to the even neighbour.
double roundHalfEven(double value);

// The number of addresses per message: GroupSize rounded when grouping is on,
// else 1.
long long groupSizeOf(const CampaignSettings &settings);

// WaitSeconds times 1000, rounded to whole milliseconds.
long long waitMillisecondsOf(const CampaignSettings &settings);

// The mail component refuses a message with more than 100 recipients.
inline constexpr long long maxGroupSize = 100;
// A day: one message a day is the slowest pace a campaign is given.
inline constexpr long long maxWaitMilliseconds = 86'400'000;

} // namespace tramelo
