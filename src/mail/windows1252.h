#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace tramelo {

// Every text that leaves the program (SMTP and POP3 lines, message text, DNS
// queries, project files) is single-byte Windows-1252. Decoding maps every
// byte to one character, so any byte sequence round-trips; encoding writes
// "?" for a character that has no single-byte form.
QByteArray toWindows1252(QStringView text);
QString fromWindows1252(QByteArrayView bytes);

// One character to its byte, or '?' when it has none.
char toWindows1252(char16_t c);

} // namespace tramelo
