#include "login_mechanisms.h"

#include "windows1252.h"

namespace tramelo {
namespace {

// RFC 4616: no authorisation identity, the user and the password in UTF-8,
// answering the server's one empty challenge; a second one is cancelled.
class PlainLogin final : public LoginMechanism
{
public:
    explicit PlainLogin(Credentials credentials) : m_credentials(std::move(credentials)) {}
    QByteArray command() const override { return "AUTH PLAIN"; }
    QList<QByteArray> answer(const QByteArray &, int place) override
    {
        if (place > 1)
            return {"*"};
        return {('\0' + m_credentials.user.toUtf8() + '\0' + m_credentials.password.toUtf8()).toBase64()};
    }

private:
    Credentials m_credentials;
};

// Servers word their prompts freely, and the LOGIN mechanism tells clients
// not to rely on the words: a prompt that names neither is answered by its
// place; a third one is cancelled with an empty answer and "*".
class LoginByPrompts final : public LoginMechanism
{
public:
    explicit LoginByPrompts(Credentials credentials) : m_credentials(std::move(credentials)) {}
    QByteArray command() const override { return "AUTH LOGIN"; }
    QList<QByteArray> answer(const QByteArray &challenge, int place) override
    {
        const QString prompt = server_reply::loginPromptText(challenge);
        const QByteArray user = toWindows1252(m_credentials.user).toBase64();
        const QByteArray password = toWindows1252(m_credentials.password).toBase64();
        if (prompt.contains(QLatin1String("username"), Qt::CaseInsensitive))
            return {user};
        if (prompt.contains(QLatin1String("password"), Qt::CaseInsensitive))
            return {password};
        if (place <= 2)
            return {place == 1 ? user : password};
        return {QByteArray(), "*"};
    }

private:
    Credentials m_credentials;
};

} // namespace

std::unique_ptr<LoginMechanism> chooseLoginMechanism(const server_reply::Extensions &offer, bool encrypted,
                                                     const Credentials &credentials)
{
    if (offer.plain && encrypted)
        return std::make_unique<PlainLogin>(credentials);
    if (offer.login)
        return std::make_unique<LoginByPrompts>(credentials);
    return nullptr;
}

} // namespace tramelo
