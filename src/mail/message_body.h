#pragma once

#include <QString>
#include <QStringView>

namespace tramelo {

// The longest line SMTP allows, line end excluded (RFC 5321, 4.5.3.1.6).
inline constexpr qsizetype maxBodyLineLength = 998;

// PrepareBody, with bare line ends mended: CR LF, a lone CR and a
// lone LF are all line ends, and every line end of the result is CR LF (a
// last line without a line end stays without one). A line longer than 998
// characters is folded after the last blank at or before position 998 (the
// blank ends the piece), or after position 998 when there is none; a piece
// that begins with "." counts one character more, for the dot that the
// message data writer puts in front of it. An empty text stays empty.
QString prepareBody(QStringView text);

// The 8-bit flag: the text, converted to Windows-1252, holds a byte above 126.
bool hasEightBitCharacters(QStringView text);

} // namespace tramelo
