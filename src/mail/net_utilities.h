#pragma once

#include "host_services.h"

#include <QString>
#include <QStringView>

#include <chrono>
#include <optional>

namespace tramelo {

// The local host name, name resolution and ping, over the host
// services (the system ones in the product, a fake in tests). None of them
// throws; every failure gives an empty text or false.

inline constexpr std::chrono::milliseconds pingTimeout{255};
inline constexpr int pingDataSize = 32;

// GetIPHost: the local host name, or empty.
QString getIPHost(HostServices &services);

// GetIPAddress: an empty name is replaced by the local host name; the name is
// trimmed of blanks and written back; the result is the first IPv4 address of
// the name in dotted form, or empty when it does not resolve.
QString getIPAddress(HostServices &services, QString &hostName);

// The four bytes of an IPv4 literal (isIPv4Literal), nothing when a part is
// not a number from 0 to 255.
std::optional<IPv4Address> literalAddressBytes(QStringView text);

// Ping: one echo request of 32 random bytes (codes 1 to 255) with a time-out
// of 255 ms. A name that is not an IPv4 literal is resolved by getIPAddress
// first (which rewrites Address). Once a request went out, Address becomes
// the reply's address ("0.0.0.0" without a reply), RoundTripTime the round
// trip in ms and DataSize the echoed byte count followed by " bytes";
// DataMatch is set only when the echoed data holds a NUL after its first
// character (the reply's data area is a zero-filled 250-byte buffer): then it tells whether the text before that NUL equals the request
// data, without regard to case. True when the reply's status is success and
// it came from the target.
bool ping(HostServices &services, QString &address, QString &roundTripTime, QString &dataSize, bool &dataMatch);

} // namespace tramelo
