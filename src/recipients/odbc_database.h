#pragma once

#include "odbc_connection.h"
#include "query_rows.h"

#include <chrono>
#include <memory>

namespace tramelo {

// A recipient database reached through an ODBC driver, connected read-only.
class OdbcDatabase final : public RecipientDatabase
{
public:
    // Connects with the connect string; nothing and the driver's own text
    // on failure.
    static std::unique_ptr<OdbcDatabase> open(const QString &connectString, std::chrono::seconds queryTimeLimit,
                                              QString &error);

    ServerKind serverKind() const override;
    // The server's own catalogues, and MySQL's other databases, are left out.
    std::optional<QStringList> tableNames(QString &error) override;
    std::unique_ptr<QueryRows> execute(const QString &query, QString &error) override;
    // Reading starts a transaction by itself; its end rolls it back.
    void beginReading() override {}
    void endReading() override { m_connection.rollback(); }
    QString fileWritingPrivilege() const override { return m_fileWritingPrivilege; }

private:
    OdbcDatabase() = default;
    QString askFileWritingPrivilege();

    odbc::Connection m_connection;
    QString m_fileWritingPrivilege;
};

} // namespace tramelo
