#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace tramelo {

// The single-byte text of SMTP and POP3 command lines, DNS queries, the
// project record and Windows-1252 body files (the text of a message goes in
// Latin-1 or UTF-8, text_charset.h). Decoding maps every byte to one
// character, so any byte sequence round-trips; encoding writes "?" for a
// character that has no single-byte form.
QByteArray toWindows1252(QStringView text);
QString fromWindows1252(QByteArrayView bytes);

// One character to its byte, or '?' when it has none.
char toWindows1252(char16_t c);

} // namespace tramelo
