#pragma once

#include <sql.h>
#include <sqlext.h>

#include <QByteArray>
#include <QString>

namespace tramelo::odbc {

// Text travels to the driver manager through the narrow entry points, as
// UTF-8. unixODBC hands narrow text to a driver unchanged, whereas its own
// wide-to-narrow conversion follows the process locale and mangles accents
// under the C locale (Debian's SQLite3 driver has no wide entry points at
// all, and the wide MDBTools driver lacks SQLTablesW). Values come back as
// SQL_C_WCHAR, which every driver converts by itself, whatever the locale.
QByteArray toDriverText(const QString &text);
QString fromDriverText(const SQLCHAR *text, qsizetype length);

// One ODBC handle of any kind, freed when the object goes.
class Handle
{
public:
    Handle() = default;
    Handle(SQLSMALLINT type, SQLHANDLE handle) : m_type(type), m_handle(handle) {}
    ~Handle();
    Handle(Handle &&other) noexcept;
    Handle &operator=(Handle &&other) noexcept;
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    SQLSMALLINT type() const { return m_type; }
    SQLHANDLE get() const { return m_handle; }
    explicit operator bool() const { return m_handle != SQL_NULL_HANDLE; }

    // A new handle of the given type under this one (or under none for an
    // environment); an empty Handle when the driver manager refuses.
    static Handle allocate(SQLSMALLINT type, SQLHANDLE parent);

    // The diagnostic records now held by the handle, one message per line:
    // the database layer's own description of what went wrong.
    QString diagnostics() const;

private:
    void release();

    SQLSMALLINT m_type = 0;
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

// What the operator sees when a driver fails without saying why.
QString orUndescribedError(const QString &diagnostics);

} // namespace tramelo::odbc
