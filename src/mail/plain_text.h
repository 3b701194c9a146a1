#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace tramelo {

// Plain text as the mail component and the campaign read it. A blank is the
// space character only: a tab or a line end is kept, and fails whatever check
// the text goes on to.

// The line end of every protocol line, header and body line.
inline const QString crlf = QStringLiteral("\r\n");

// The text without leading and trailing blanks.
QString trimBlanks(QStringView text);

// Empty, or blanks only.
bool isBlank(QStringView text);

// A whole number: optional blanks, an optional "+" or "-", one or more
// decimal digits 0-9, optional blanks. Nothing else counts (no decimal
// point, no exponent, no thousands separator, no hexadecimal, no other
// digits). A magnitude beyond 2^32 reads as 2^32, outside every 32-bit range.
std::optional<long long> readWholeNumber(QStringView text);

} // namespace tramelo
