#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace tramelo::modMXQuery {

// The MX question for a domain: fixed ID 4575, recursion desired, one
// question of type MX, class IN. Each label (the domain split at ".") is its
// Windows-1252 byte count and bytes; lengths are sent as they are.
QByteArray mxQueryDatagram(const QString &domain);

// One reply, received into a zero-filled buffer: bytes past what arrived read
// as zeros, which end names and stop the parse.
struct ReplyBuffer {
    static constexpr std::size_t capacity = 2048;
    std::array<std::uint8_t, capacity> bytes{};
    std::size_t receivedLength = 0;
};

// ANCOUNT, bytes 6 and 7.
int answerCount(const ReplyBuffer &reply);

// The exchange name of the answer with the lowest preference, the earliest
// among equals, reading answers until the first one that is not MX. A
// malformed reply (a label cut off by the end of the reply, a name longer than
// 255 bytes, a compression pointer past what arrived or not strictly
// backwards) gives "".
QString bestMailExchanger(const ReplyBuffer &reply);

} // namespace tramelo::modMXQuery
