#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace tramelo {

// Which character set a text of a message travels in. A text that fits in
// Latin-1 goes as it always went, labelled ISO-8859-1: its Windows-1252
// bytes are then its Latin-1 bytes. Any other text, one with a character
// only Windows-1252 has (the euro sign, curly quotes) included, goes as UTF-8.

// Every character is one of U+0000..U+007F or U+00A0..U+00FF. The C1
// controls U+0080..U+009F have no Windows-1252 byte of their own, so a text
// holding one does not fit.
bool fitsLatin1(QStringView text);

// An HTML text that declares UTF-8 within its first 4096 characters, in a
// meta element: <meta charset="utf-8"> or the http-equiv Content-Type with
// "charset=utf-8", in any letter case ("utf8" too).
bool declaresUtf8(QStringView html);

// The text of bytes that are well-formed UTF-8; nothing for any other bytes.
std::optional<QString> strictUtf8(QByteArrayView bytes);

// Whether strictUtf8 would give a text, without making it.
bool isStrictUtf8(QByteArrayView bytes);

} // namespace tramelo
