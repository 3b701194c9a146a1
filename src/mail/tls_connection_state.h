#pragma once

#include <QByteArray>

#include <vector>

namespace tramelo {

// What one TLS connection tells its context's callbacks: the server it
// talks to (the key of its resumable session) and the verification's
// failures as OpenSSL found them.
struct TlsConnectionState {
    QByteArray server;
    std::vector<int> verifyErrors;
};

} // namespace tramelo
