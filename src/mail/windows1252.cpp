#include "windows1252.h"

#include <array>

namespace tramelo {
namespace {

// 0x80..0x9F, the only range where Windows-1252 differs from Latin-1. The
// five bytes the code page leaves undefined map to the C1 control of the same
// value, as Windows itself does, so that they survive a round trip.
constexpr std::array<char16_t, 32> highControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isUndefinedByte(char16_t c)
{
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

} // namespace

char toWindows1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF) || isUndefinedByte(c))
        return static_cast<char>(c);
    for (std::size_t i = 0; i < highControlRange.size(); ++i) {
        if (highControlRange[i] == c)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

QByteArray toWindows1252(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    const char16_t *in = text.utf16();
    const char16_t *end = in + text.size();
    while (in != end) {
        const char16_t c = *in++;
        if (QChar::isHighSurrogate(c) && in != end && QChar::isLowSurrogate(*in))
            ++in; // one character outside the code page, one "?"
        *out++ = toWindows1252(c);
    }
    bytes.truncate(out - bytes.data());
    return bytes;
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *out++ = (b >= 0x80 && b < 0xA0) ? highControlRange[b - 0x80] : char16_t(b);
    }
    return text;
}

} // namespace tramelo
