#pragma once

#include <QString>

namespace tramelo {

// Header text. A subject (quote switch off) goes out unchanged when it holds
// no character above 126; a display name (quote switch on) as a quoted
// string, '"' and '\' escaped, when it holds no character above 126 and no
// control character. Otherwise, and for a word too long for any header line,
// the text becomes the shorter of its quoted-printable and base64
// encoded-word forms, folded; a display name's quoted-printable words keep
// only the characters RFC 2047 allows in a phrase. Words are ISO-8859-1 for
// a text that fits in Latin-1, UTF-8 for any other, and never split a
// character.
QString EncodeHeaderText(const QString &text, bool quote);

// A header field, possibly already folded, folded again at white space so
// that each line holds at most 78 characters where a blank allows it: before
// the last blank that leaves at most 78, or else before the first one after
// them. The field name and the first word of each line stay on it.
QString foldHeaderField(const QString &field);

// A file name as the "name" parameter of Content-Type and the "filename"
// parameter of Content-Disposition: quoted ('"' and '\' escaped) when it is
// printable ASCII; otherwise "name" holds encoded words, which older readers
// know, and "filename*" the RFC 2231 form (charset, then percent-encoding).
QString nameParameter(const QString &fileName);
QString filenameParameter(const QString &fileName);

// The Content-ID of a file, which an HTML body links as "cid:" followed by
// it: the file name when it fits in Latin-1; otherwise "utf8." and the hex
// digits of its UTF-8 bytes, which neither the header nor the link has to
// escape.
QString contentId(const QString &fileName);

// A CR or LF in a header value would add headers or end the header block;
// each becomes a blank.
QString withoutLineBreaks(QString text);

} // namespace tramelo
