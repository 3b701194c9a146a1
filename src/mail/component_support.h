#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

namespace tramelo {

// Small pieces of the mail component's surface, apart so that
// they can be tested alone.

// The Date header's offset text for a bias in minutes (UTC minus local
// time): "+" when the bias is 0 or negative, "-" when positive, then the
// hours and the remaining minutes of its absolute value, two digits each:
// -60 gives "+0100", 300 "-0500", -330 "+0530", 0 "+0000".
QString timeZoneOffsetText(int biasMinutes);

// The local time zone's bias now, from the C library's local time
// (tm_gmtoff, daylight time included).
int localTimeZoneBiasMinutes();

// The MIME boundary of a message built at that local time: the day number
// since 30 December 1899 and the time of day, in hexadecimal.
QString mimeBoundaryAt(const QDateTime &localTime);

// A file's name: the text after its last "/" or "\".
QString fileNameOfPath(QStringView path);

// ContentBase normalisation: empty stays empty; every "\" becomes "/";
// "http://" is put in front unless the text holds it anywhere (compared
// without regard to case); "/" is appended unless the text ends with one.
QString normalizedContentBase(const QString &value);

// CleanList's work on one element: blanks removed at both ends, then every
// CR LF pair and every tab removed.
QString cleanListElement(const QString &element);

} // namespace tramelo
