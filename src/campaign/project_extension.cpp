#include "project_extension.h"

#include <QtEndian>

#include <array>

namespace tramelo {
namespace {

constexpr QByteArrayView magic = "TRAMELOX";
constexpr qsizetype trailerBytes = 4 + 4 + magic.size();
constexpr qsizetype maxKeyBytes = 255;

constexpr std::array<quint32, 256> crcTable = [] {
    std::array<quint32, 256> table{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}();

// CRC-32 as zlib, PNG and Ethernet compute it.
quint32 crc32(QByteArrayView bytes)
{
    quint32 c = 0xFFFFFFFFu;
    for (const char byte : bytes)
        c = crcTable[(c ^ uchar(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

template <typename T>
void appendNumber(QByteArray &bytes, T value)
{
    char little[sizeof(T)];
    qToLittleEndian(value, little);
    bytes.append(little, sizeof(T));
}

bool isKey(QByteArrayView key)
{
    if (key.isEmpty() || key.size() > maxKeyBytes)
        return false;
    for (const char c : key) {
        if (c <= ' ' || c > '~')
            return false;
    }
    return true;
}

// Takes fields off the front of the payload; a field that does not fit
// leaves the reader failed.
class PayloadReader
{
public:
    explicit PayloadReader(QByteArrayView bytes) : m_bytes(bytes) {}

    template <typename T>
    std::optional<T> number()
    {
        if (m_bytes.size() < qsizetype(sizeof(T)))
            return std::nullopt;
        const T value = qFromLittleEndian<T>(m_bytes.data());
        m_bytes = m_bytes.sliced(sizeof(T));
        return value;
    }

    std::optional<QByteArrayView> bytes(quint32 count)
    {
        if (quint64(m_bytes.size()) < count)
            return std::nullopt;
        const QByteArrayView taken = m_bytes.first(count);
        m_bytes = m_bytes.sliced(count);
        return taken;
    }

    bool atEnd() const { return m_bytes.isEmpty(); }

private:
    QByteArrayView m_bytes;
};

std::optional<ProjectExtension> parsePayload(QByteArrayView payload)
{
    PayloadReader in(payload);
    if (in.number<quint16>() != projectExtensionVersion)
        return std::nullopt;
    ProjectExtension entries;
    while (!in.atEnd()) {
        const std::optional<quint8> keyLength = in.number<quint8>();
        const std::optional<QByteArrayView> key = keyLength ? in.bytes(*keyLength) : std::nullopt;
        const std::optional<quint32> valueLength = key ? in.number<quint32>() : std::nullopt;
        const std::optional<QByteArrayView> value = valueLength ? in.bytes(*valueLength) : std::nullopt;
        if (!value || !isKey(*key) || entries.contains(key->toByteArray()))
            return std::nullopt;
        entries.insert(key->toByteArray(), value->toByteArray());
    }
    return entries;
}

} // namespace

std::optional<QByteArray> writeProjectExtension(const ProjectExtension &entries)
{
    if (entries.isEmpty())
        return QByteArray();
    QByteArray payload;
    appendNumber(payload, projectExtensionVersion);
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (!isKey(it.key()) || it.value().size() > maxProjectExtensionBytes)
            return std::nullopt;
        appendNumber(payload, quint8(it.key().size()));
        payload += it.key();
        appendNumber(payload, quint32(it.value().size()));
        payload += it.value();
        if (payload.size() + trailerBytes > maxProjectExtensionBytes)
            return std::nullopt;
    }
    QByteArray block = payload;
    appendNumber(block, quint32(payload.size()));
    appendNumber(block, crc32(payload));
    block += magic;
    return block;
}

namespace {

// The payload of the block that ends the bytes, when its trailer and CRC are sound.
std::optional<QByteArrayView> payloadOf(QByteArrayView afterMarks)
{
    if (afterMarks.size() < trailerBytes || !afterMarks.endsWith(magic))
        return std::nullopt;
    const qsizetype trailerAt = afterMarks.size() - trailerBytes;
    const quint32 length = qFromLittleEndian<quint32>(afterMarks.data() + trailerAt);
    const quint32 crc = qFromLittleEndian<quint32>(afterMarks.data() + trailerAt + 4);
    if (quint64(length) > quint64(trailerAt) || qsizetype(length) + trailerBytes > maxProjectExtensionBytes)
        return std::nullopt;
    const QByteArrayView payload = afterMarks.sliced(trailerAt - length, length);
    if (crc32(payload) != crc)
        return std::nullopt;
    return payload;
}

} // namespace

ProjectExtension readProjectExtension(QByteArrayView afterMarks)
{
    const std::optional<QByteArrayView> payload = payloadOf(afterMarks);
    return payload ? parsePayload(*payload).value_or(ProjectExtension()) : ProjectExtension();
}

qsizetype projectExtensionLength(QByteArrayView afterMarks)
{
    const std::optional<QByteArrayView> payload = payloadOf(afterMarks);
    return payload && parsePayload(*payload) ? payload->size() + trailerBytes : 0;
}

} // namespace tramelo
