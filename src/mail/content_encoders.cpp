#include "content_encoders.h"

#include "plain_text.h"
#include "windows1252.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace tramelo::modCorreu {
namespace {

constexpr char base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char base64Padding = '=';
constexpr qsizetype bytesPerLine = 57; // 19 groups of 3 bytes, 76 characters
constexpr qsizetype charactersPerLine = 76;

// Every 12-bit value as its two output characters, so one lookup writes two
// characters: attachments go through here megabytes at a time.
using CharacterPair = std::array<char, 2>;
constexpr std::array<CharacterPair, 4096> makePairTable()
{
    std::array<CharacterPair, 4096> table{};
    for (std::size_t value = 0; value < table.size(); ++value)
        table[value] = {base64Alphabet[value >> 6], base64Alphabet[value & 63]};
    return table;
}
alignas(64) constexpr std::array<CharacterPair, 4096> base64Pairs = makePairTable();

inline std::uint32_t groupValue(const unsigned char *in)
{
    return std::uint32_t(in[0]) << 16 | std::uint32_t(in[1]) << 8 | in[2];
}

inline char *writeGroup(std::uint32_t value, char *out)
{
    std::memcpy(out, base64Pairs[value >> 12].data(), 2);
    std::memcpy(out + 2, base64Pairs[value & 0xFFF].data(), 2);
    return out + 4;
}

// Two groups per step: one 64-bit load of which six bytes are used, four
// lookups, one 64-bit store. Used only where eight input bytes are readable.
inline char *writeTwoGroups(const unsigned char *in, char *out)
{
    std::uint64_t loaded;
    std::memcpy(&loaded, in, 8);
    if constexpr (std::endian::native == std::endian::little)
        loaded = __builtin_bswap64(loaded);
    const std::uint64_t six = loaded >> 16; // the first six bytes, big-endian
    char eight[8];
    std::memcpy(eight, base64Pairs[six >> 36 & 0xFFF].data(), 2);
    std::memcpy(eight + 2, base64Pairs[six >> 24 & 0xFFF].data(), 2);
    std::memcpy(eight + 4, base64Pairs[six >> 12 & 0xFFF].data(), 2);
    std::memcpy(eight + 6, base64Pairs[six & 0xFFF].data(), 2);
    std::memcpy(out, eight, 8);
    return out + 8;
}

inline char *writeLineEnd(char *out)
{
    out[0] = '\r';
    out[1] = '\n';
    return out + 2;
}

// 57 bytes: nine double groups (whose 8-byte loads stay within the 57) and one more.
char *writeFullLine(const unsigned char *in, char *out)
{
    for (int pair = 0; pair < 9; ++pair, in += 6)
        out = writeTwoGroups(in, out);
    out = writeGroup(groupValue(in), out);
    return writeLineEnd(out);
}

// The last line: whole groups, then a group completed with zero bytes whose
// last characters become "=".
char *writeLastLine(const unsigned char *in, qsizetype length, char *out)
{
    for (; length >= 3; length -= 3, in += 3)
        out = writeGroup(groupValue(in), out);
    if (length > 0) {
        const unsigned char completed[3] = {in[0], length == 2 ? in[1] : static_cast<unsigned char>(0), 0};
        out = writeGroup(groupValue(completed), out);
        const qsizetype padding = 3 - length;
        std::memset(out - padding, base64Padding, padding);
    }
    return writeLineEnd(out);
}

qsizetype encodedLength(qsizetype byteCount)
{
    const qsizetype fullLines = byteCount / bytesPerLine;
    const qsizetype rest = byteCount % bytesPerLine;
    const qsizetype lastLine = rest == 0 ? 0 : (rest + 2) / 3 * 4 + 2;
    return fullLines * (charactersPerLine + 2) + lastLine;
}

int base64Value(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return c - u'A';
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 26;
    if (c >= u'0' && c <= u'9')
        return c - u'0' + 52;
    if (c == u'+')
        return 62;
    if (c == u'/')
        return 63;
    return -1;
}

bool isBase64Character(char16_t c)
{
    return c == base64Padding || base64Value(c) >= 0;
}

// The bytes of one character: a UTF-8 lead byte with the continuation
// bytes that follow it (at most four in all), or a single byte.
qsizetype characterLength(QByteArrayView bytes, qsizetype i)
{
    qsizetype end = i + 1;
    if (static_cast<unsigned char>(bytes[i]) >= 0xC0) {
        while (end < bytes.size() && end - i < 4 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
            ++end;
    }
    return end - i;
}

void appendQuotedPrintableLine(QByteArray &out, QByteArrayView line)
{
    constexpr qsizetype lineRoom = 75; // 76 with the "=" of a soft line break
    constexpr char hexDigits[] = "0123456789ABCDEF";
    qsizetype column = 0;
    for (qsizetype i = 0; i < line.size();) {
        const qsizetype length = characterLength(line, i);
        char piece[12];
        qsizetype n = 0;
        for (qsizetype k = i; k < i + length; ++k) {
            const auto c = static_cast<unsigned char>(line[k]);
            const bool blank = c == ' ' || c == '\t';
            if ((c >= 33 && c <= 126 && c != '=') || (blank && k + 1 < line.size())) {
                piece[n++] = char(c);
            } else {
                piece[n++] = '=';
                piece[n++] = hexDigits[c >> 4];
                piece[n++] = hexDigits[c & 15];
            }
        }
        if (column + n > lineRoom) {
            out += "=\r\n";
            column = 0;
        }
        out.append(piece, n);
        column += n;
        i += length;
    }
}

constexpr int maximumUuencodeLine = 63;

char uuencodeCharacter(unsigned value)
{
    return value == 0 ? '`' : static_cast<char>(value + 32);
}

} // namespace

QByteArray encodeBase64Lines(QByteArrayView bytes)
{
    QByteArray encoded(encodedLength(bytes.size()), Qt::Uninitialized);
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    char *out = encoded.data();
    qsizetype remaining = bytes.size();
    for (; remaining >= bytesPerLine; remaining -= bytesPerLine, in += bytesPerLine)
        out = writeFullLine(in, out);
    if (remaining > 0)
        out = writeLastLine(in, remaining, out);
    Q_ASSERT(out == encoded.data() + encoded.size());
    return encoded;
}

QString encodeBase64Text(const QString &text)
{
    if (text.isEmpty())
        return {};
    return fromWindows1252(encodeBase64Lines(toWindows1252(text)));
}

QString decodeBase64Text(const QString &text)
{
    const QString groups = QString(text).remove(crlf);
    for (const QChar c : groups) {
        if (!isBase64Character(c.unicode()))
            return {};
    }

    QByteArray decoded;
    decoded.reserve(groups.size() / 4 * 3 + 3);
    for (qsizetype start = 0; start < groups.size(); start += 4) {
        int values[4] = {0, 0, 0, 0};
        int counted = 0;
        for (; counted < 4; ++counted) {
            const qsizetype position = start + counted;
            if (position >= groups.size())
                continue; // past the end counts as "A"
            if (groups[position] == QLatin1Char(base64Padding))
                break;
            values[counted] = base64Value(groups[position].unicode());
        }
        const char three[3] = {
            static_cast<char>(values[0] << 2 | (values[1] >> 4 & 3)),
            static_cast<char>((values[1] & 15) << 4 | (values[2] >> 2 & 15)),
            static_cast<char>((values[2] & 3) << 6 | values[3]),
        };
        if (counted > 1)
            decoded.append(three, counted - 1);
    }
    return fromWindows1252(decoded);
}

QByteArray encodeQuotedPrintable(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 2 + 16);
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf("\r\n", start);
        appendQuotedPrintableLine(out, text.sliced(start, (end < 0 ? text.size() : end) - start));
        if (end < 0)
            return out;
        out += "\r\n";
        start = end + 2;
    }
}

QByteArray uuencodeBytesLine(QByteArrayView bytes)
{
    if (bytes.size() > maximumUuencodeLine)
        return {};
    QByteArray line;
    line.reserve(1 + (bytes.size() + 2) / 3 * 4 + 2);
    line.append(uuencodeCharacter(static_cast<unsigned>(bytes.size())));

    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    qsizetype remaining = bytes.size();
    for (; remaining > 0; remaining -= 3, in += 3) {
        const qsizetype pieceLength = std::min<qsizetype>(remaining, 3);
        unsigned char piece[3] = {0, 0, 0};
        std::memcpy(piece, in, pieceLength);
        const std::uint32_t value = groupValue(piece);
        for (qsizetype k = 0; k <= pieceLength; ++k)
            line.append(uuencodeCharacter(value >> (18 - 6 * k) & 63));
    }
    const qsizetype lastPieceLength = bytes.size() % 3;
    if (lastPieceLength > 0)
        line.append(QByteArray(3 - lastPieceLength, '='));
    return line;
}

} // namespace tramelo::modCorreu
