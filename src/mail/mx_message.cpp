#include "mx_message.h"

#include "windows1252.h"

#include <QStringList>

#include <optional>

namespace tramelo::modMXQuery {
namespace {

constexpr std::uint16_t queryId = 4575;
constexpr std::uint16_t typeMX = 15;
constexpr std::uint16_t classIN = 1;
constexpr std::size_t headerLength = 12;
constexpr std::uint8_t pointerMark = 0xC0;
// No real name is longer on the wire; a longer one can only come from
// pointers stitching the same bytes together again and again.
constexpr std::size_t longestNameOnTheWire = 255;

void appendUint16(QByteArray &bytes, std::uint16_t value)
{
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value & 0xFF));
}

// Walks a reply without ever leaving its buffer; every read says whether it
// stayed inside.
class ReplyReader
{
public:
    ReplyReader(const ReplyBuffer &reply, std::size_t position) : m_reply(reply), m_position(position) {}

    std::optional<std::uint16_t> readUint16()
    {
        if (m_position + 2 > ReplyBuffer::capacity)
            return std::nullopt;
        const std::uint16_t value = std::uint16_t(m_reply.bytes[m_position] << 8 | m_reply.bytes[m_position + 1]);
        m_position += 2;
        return value;
    }

    bool skip(std::size_t count)
    {
        if (m_position + count > ReplyBuffer::capacity)
            return false;
        m_position += count;
        return true;
    }

    // Labels joined by "." (a label followed by anything but the end byte
    // gets a "."); a pointer continues the name at an earlier offset and ends
    // it. Each pointer must land strictly before the run of labels it was
    // found in, so the offsets fall at every jump and no loop can form. A
    // label cut off by the end of the reply is refused rather than read as
    // zeros into a host name.
    std::optional<QByteArray> readName()
    {
        QByteArray name;
        std::size_t cursor = m_position;
        std::size_t runStart = m_position;
        std::size_t wireLength = 0;
        bool jumped = false;
        for (;;) {
            if (cursor >= ReplyBuffer::capacity)
                return std::nullopt;
            const std::uint8_t length = m_reply.bytes[cursor];
            if (length == 0) {
                if (!jumped)
                    m_position = cursor + 1;
                return name;
            }
            if ((length & pointerMark) == pointerMark) {
                if (cursor + 1 >= ReplyBuffer::capacity)
                    return std::nullopt;
                const std::size_t target = std::size_t(length & ~pointerMark) << 8 | m_reply.bytes[cursor + 1];
                if (target >= runStart || target >= m_reply.receivedLength)
                    return std::nullopt;
                if (!jumped)
                    m_position = cursor + 2;
                jumped = true;
                cursor = runStart = target;
                continue;
            }
            const std::size_t labelEnd = cursor + 1 + length;
            wireLength += 1 + length;
            if (labelEnd > m_reply.receivedLength || labelEnd >= ReplyBuffer::capacity
                || wireLength + 1 > longestNameOnTheWire) // + 1: the end byte
                return std::nullopt;
            name.append(reinterpret_cast<const char *>(m_reply.bytes.data() + cursor + 1), length);
            if (m_reply.bytes[labelEnd] != 0)
                name.append('.');
            cursor = labelEnd;
        }
    }

private:
    const ReplyBuffer &m_reply;
    std::size_t m_position;
};

} // namespace

QByteArray mxQueryDatagram(const QString &domain)
{
    QByteArray datagram;
    appendUint16(datagram, queryId);
    datagram.append('\x01'); // recursion desired, standard query
    datagram.append('\x00');
    appendUint16(datagram, 1); // QDCOUNT
    appendUint16(datagram, 0); // ANCOUNT
    appendUint16(datagram, 0); // NSCOUNT
    appendUint16(datagram, 0); // ARCOUNT
    for (const QString &label : domain.split(QLatin1Char('.'))) {
        const QByteArray bytes = toWindows1252(label);
        datagram.append(static_cast<char>(bytes.size()));
        datagram.append(bytes);
    }
    datagram.append('\x00');
    appendUint16(datagram, typeMX);
    appendUint16(datagram, classIN);
    return datagram;
}

int answerCount(const ReplyBuffer &reply)
{
    return reply.bytes[6] << 8 | reply.bytes[7];
}

QString bestMailExchanger(const ReplyBuffer &reply)
{
    ReplyReader reader(reply, headerLength);
    if (!reader.readName() || !reader.skip(4)) // the question: name, QTYPE, QCLASS
        return {};

    QString best;
    std::optional<std::uint16_t> bestPreference;
    for (int answer = answerCount(reply); answer > 0; --answer) {
        if (!reader.readName())
            return {};
        const std::optional<std::uint16_t> type = reader.readUint16();
        if (!type)
            return {};
        if (*type != typeMX)
            break;
        if (!reader.skip(8)) // CLASS, TTL, RDLENGTH
            return {};
        const std::optional<std::uint16_t> preference = reader.readUint16();
        const std::optional<QByteArray> exchange = preference ? reader.readName() : std::nullopt;
        if (!exchange)
            return {};
        const QString name = fromWindows1252(*exchange);
        if (!name.trimmed().isEmpty() && (!bestPreference || *preference < *bestPreference)) {
            best = name;
            bestPreference = preference;
        }
    }
    return best;
}

} // namespace tramelo::modMXQuery
