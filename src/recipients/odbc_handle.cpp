#include "odbc_handle.h"

#include <QStringList>

#include <array>
#include <utility>

namespace tramelo::odbc {

QByteArray toDriverText(const QString &text)
{
    return text.toUtf8();
}

QString fromDriverText(const SQLCHAR *text, qsizetype length)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(text), length);
}

Handle::~Handle()
{
    release();
}

Handle::Handle(Handle &&other) noexcept
    : m_type(other.m_type)
    , m_handle(std::exchange(other.m_handle, SQLHANDLE{}))
{
}

Handle &Handle::operator=(Handle &&other) noexcept
{
    if (this != &other) {
        release();
        m_type = other.m_type;
        m_handle = std::exchange(other.m_handle, SQLHANDLE{});
    }
    return *this;
}

void Handle::release()
{
    if (m_handle != SQL_NULL_HANDLE)
        SQLFreeHandle(m_type, m_handle);
    m_handle = SQL_NULL_HANDLE;
}

Handle Handle::allocate(SQLSMALLINT type, SQLHANDLE parent)
{
    SQLHANDLE handle = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle)))
        return {};
    return Handle(type, handle);
}

QString Handle::diagnostics() const
{
    QStringList messages;
    // Drivers keep only a handful of records; the bound guards against one
    // that keeps answering.
    for (SQLSMALLINT record = 1; record <= 32; ++record) {
        std::array<SQLCHAR, 6> state{};
        SQLINTEGER nativeError = 0;
        std::array<SQLCHAR, SQL_MAX_MESSAGE_LENGTH + 1> message{};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRec(m_type, m_handle, record, state.data(), &nativeError,
                                           message.data(), SQLSMALLINT(message.size()), &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        const qsizetype stored = qMin<qsizetype>(length, qsizetype(message.size()) - 1);
        const QString text = fromDriverText(message.data(), stored).trimmed();
        if (!text.isEmpty())
            messages.append(text);
    }
    return messages.join(QLatin1Char('\n'));
}

QString orUndescribedError(const QString &diagnostics)
{
    if (!diagnostics.isEmpty())
        return diagnostics;
    return QStringLiteral("La base de dades no ha donat cap descripció de l'error");
}

} // namespace tramelo::odbc
