#pragma once

#include "mx_message.h"

#include <QByteArray>
#include <QString>

#include <chrono>

namespace tramelo::modMXQuery {

enum class ExchangeOutcome {
    Replied,
    NoAddress,    // the server text is neither an IPv4 address nor a name that resolves to one
    NoSocket,     // the system gave no datagram socket
    SendFailed,   // nothing could be sent to the server
    NoReply,      // no datagram came back in time (or the server's port was closed)
};

struct Exchange {
    ExchangeOutcome outcome = ExchangeOutcome::NoReply;
    ReplyBuffer reply;
};

// Sends one datagram to a name server over UDP and waits a bounded time for
// one reply of at most 2048 bytes. The socket is connected, so only the
// server's own datagrams are taken.
Exchange exchangeDatagram(const QString &server, quint16 port, const QByteArray &datagram,
                          std::chrono::milliseconds wait);

} // namespace tramelo::modMXQuery
