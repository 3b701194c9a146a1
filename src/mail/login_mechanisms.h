#pragma once

#include "server_reply.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace tramelo {

struct Credentials {
    QString user;
    QString password;
};

// A login mechanism as the client speaks it (RFC 4954): its AUTH command,
// then the answer to each "334" challenge until the server accepts (235)
// or refuses. A mechanism that carries a token instead of a password
// (XOAUTH2) is one more of these.
class LoginMechanism
{
public:
    virtual ~LoginMechanism() = default;
    virtual QByteArray command() const = 0;
    // The lines that answer a challenge (the "334" reply as received),
    // given its place in the login, counted from 1.
    virtual QList<QByteArray> answer(const QByteArray &challenge, int place) = 0;
};

// The mechanism for what the server offers: PLAIN, which says both
// credentials in one line, only inside TLS; otherwise LOGIN. Nothing when
// the server offers neither where it may be used.
std::unique_ptr<LoginMechanism> chooseLoginMechanism(const server_reply::Extensions &offer, bool encrypted,
                                                     const Credentials &credentials);

} // namespace tramelo
