#pragma once

#include <QString>

namespace tramelo {

// Header text. A subject (quote switch off) goes out unchanged when it holds
// no byte above 126; a display name (quote switch on) as a quoted string, '"'
// and '\' escaped, when it holds no byte above 126 and no control character.
// Otherwise, and for a word too long for any header line, the text becomes
// the shorter of its quoted-printable and base64 encoded-word forms, folded;
// a display name's quoted-printable words keep only the characters RFC 2047
// allows in a phrase. Words are labelled ISO-8859-1, or windows-1252 when a
// character needs that code page's own bytes 0x80 to 0x9F.
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

// A CR or LF in a header value would add headers or end the header block;
// each becomes a blank.
QString withoutLineBreaks(QString text);

} // namespace tramelo
