#pragma once

#include "mx_message.h"

#include <QByteArray>
#include <QList>

#include <algorithm>

// A reply as the exchange receives it: copied into a fresh zero-filled
// buffer, and cut where the buffer ends.
inline tramelo::modMXQuery::ReplyBuffer replyBufferFrom(const QByteArray &reply)
{
    tramelo::modMXQuery::ReplyBuffer buffer;
    buffer.receivedLength = std::min<std::size_t>(reply.size(), buffer.capacity);
    std::copy_n(reply.constData(), buffer.receivedLength, reinterpret_cast<char *>(buffer.bytes.data()));
    return buffer;
}

// Writes DNS replies byte by byte, so that tests can craft well-formed and
// broken ones alike. Offsets are returned so that pointers can refer to them.
class DnsReplyBuilder
{
public:
    explicit DnsReplyBuilder(int answerCount)
    {
        appendUint16(4575);
        appendUint16(0x8180); // response, recursion desired and available
        appendUint16(1);
        appendUint16(answerCount);
        appendUint16(0);
        appendUint16(0);
    }

    // Labels written out in full, ended by a zero byte.
    static QByteArray name(const QByteArray &dotted)
    {
        QByteArray wire;
        for (const QByteArray &label : dotted.split('.')) {
            wire.append(char(label.size()));
            wire.append(label);
        }
        return wire + '\0';
    }

    // Labels followed by a compression pointer instead of the zero byte.
    static QByteArray nameThenPointer(const QByteArray &dotted, int offset)
    {
        QByteArray wire = name(dotted);
        wire.chop(1);
        return wire + pointer(offset);
    }

    static QByteArray pointer(int offset)
    {
        QByteArray wire;
        wire.append(char(0xC0 | (offset >> 8)));
        wire.append(char(offset & 0xFF));
        return wire;
    }

    qsizetype question(const QByteArray &wireName)
    {
        const qsizetype at = m_bytes.size();
        m_bytes += wireName;
        appendUint16(15);
        appendUint16(1);
        return at;
    }

    // Returns the offset of the exchange name.
    qsizetype mx(const QByteArray &owner, int preference, const QByteArray &exchange)
    {
        m_bytes += owner;
        appendUint16(15);
        appendUint16(1);
        appendUint32(3600);
        appendUint16(2 + exchange.size());
        appendUint16(preference);
        const qsizetype at = m_bytes.size();
        m_bytes += exchange;
        return at;
    }

    void record(const QByteArray &owner, int type, const QByteArray &data)
    {
        m_bytes += owner;
        appendUint16(type);
        appendUint16(1);
        appendUint32(3600);
        appendUint16(data.size());
        m_bytes += data;
    }

    void raw(const QByteArray &bytes) { m_bytes += bytes; }
    qsizetype size() const { return m_bytes.size(); }
    QByteArray bytes() const { return m_bytes; }

private:
    void appendUint16(int value)
    {
        m_bytes.append(char((value >> 8) & 0xFF));
        m_bytes.append(char(value & 0xFF));
    }
    void appendUint32(quint32 value)
    {
        appendUint16(int(value >> 16));
        appendUint16(int(value & 0xFFFF));
    }

    QByteArray m_bytes;
};
