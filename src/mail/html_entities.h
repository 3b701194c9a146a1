#pragma once

#include <QString>
#include <QStringView>

namespace tramelo {

// The text of HTML character references: the named ones of HTML 4 (the
// Latin-1 letters, the typographic marks, the Greek letters and the
// mathematical symbols, "&apos;" too) and the numeric ones, decimal
// ("&#233;") and hexadecimal ("&#xE9;"). A named reference needs its ";", a
// numeric one may go without. As browsers do, a number in 128..159 is the
// Windows-1252 character of that byte, and 0, a surrogate or a number past
// U+10FFFF is U+FFFD. A reference that is none of these stays as written.
QString decodeCharacterReferences(QStringView text);

} // namespace tramelo
