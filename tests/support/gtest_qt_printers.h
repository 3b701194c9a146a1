#pragma once

// Readable GoogleTest failure output for Qt's text types; include it in
// tests, never in the fixtures (benchmarks use them without GoogleTest).

#include <QByteArray>
#include <QString>

#include <ostream>

// For failure messages: EXPECT_TRUE(...) << server.verify();
inline std::ostream &operator<<(std::ostream &out, const QString &text)
{
    return out << text.toStdString();
}

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << '"';
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (byte == '\r')
            *out << "\\r";
        else if (byte == '\n')
            *out << "\\n";
        else if (byte == '"' || byte == '\\')
            *out << '\\' << byte;
        else if (code < 0x20 || code > 0x7e)
            *out << "\\x" << "0123456789abcdef"[code >> 4] << "0123456789abcdef"[code & 15];
        else
            *out << byte;
    }
    *out << '"';
}
