#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tramelo::modCorreu {

// Base64 in the layout every MIME body part of ours uses: lines of 76
// characters (57 input bytes), CR LF after each line and after the last one.
// Encoding a stream in pieces whose lengths, all but the last, are multiples
// of 57 gives the same text as encoding it whole. No bytes give no lines.
QByteArray encodeBase64Lines(QByteArrayView bytes);

// The same layout for a text taken as Windows-1252 bytes; "" stays "".
QString encodeBase64Text(const QString &text);

// Inverse of encodeBase64Text. CR LF pairs are dropped first; any other
// character outside the alphabet (a blank, a lone CR or LF) gives "". Each
// group of four stands alone: "=" ends its group and the next group follows,
// and a group cut short by the end of the text is completed with "A".
QString decodeBase64Text(const QString &text);

// Quoted-printable (RFC 2045, 6.7) of text whose line ends are CR LF: each
// CR LF stays a line end; "=", controls and bytes above 126 become "=XX",
// and so does a blank or tab that ends a line; a soft line break ("=" at the
// end) keeps every line within 76 characters, and never parts the bytes of
// one UTF-8 sequence.
QByteArray encodeQuotedPrintable(QByteArrayView text);

// One uuencoded line without its line break, for at most 63 input bytes (45
// in practice); longer input gives an empty result. A last piece of one or
// two bytes is marked by "==" or "=" after the line.
QByteArray uuencodeBytesLine(QByteArrayView bytes);

} // namespace tramelo::modCorreu
