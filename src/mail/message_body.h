#pragma once

#include <QByteArray>
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

// What the message can declare about its body: the server offered 8BITMIME
// in its EHLO answer; it did not, or was greeted with HELO and said nothing;
// or the plain format, which has no headers to declare anything in.
enum class BodyChannel { EightBitMime, SevenBit, Unlabelled };

struct EncodedBody {
    QString charset;          // "iso-8859-1" or "utf-8"
    QString transferEncoding; // "7bit", "8bit", "quoted-printable" or "base64"
    QByteArray bytes;

    bool isEightBitUtf8() const { return charset == u"utf-8" && transferEncoding == u"8bit"; }
};

// The body text as it goes on the wire (NUL characters, which the message
// data writer would drop, left out). A text that fits in Latin-1 goes as it
// always went: its Latin-1 bytes, declared 8bit when the 8-bit flag is set
// and 7bit otherwise, whatever the channel. So does an HTML text that
// declares UTF-8, when all it holds is ASCII. Any other text goes as UTF-8:
// 8bit when the server offered 8BITMIME and no line passes 998 bytes, else
// the shorter of quoted-printable and base64; the plain format takes its
// UTF-8 bytes as they are.
EncodedBody encodeBody(QStringView text, bool eightBitFlag, BodyChannel channel);

} // namespace tramelo
