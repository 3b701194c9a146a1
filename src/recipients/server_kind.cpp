#include "server_kind.h"

#include <QRegularExpression>
#include <QStringList>

namespace tramelo {

ServerKind serverKindNamed(const QString &dbmsName)
{
    if (dbmsName.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0)
        return ServerKind::PostgreSql;
    if (dbmsName.compare(QLatin1String("MySQL"), Qt::CaseInsensitive) == 0
        || dbmsName.compare(QLatin1String("MariaDB"), Qt::CaseInsensitive) == 0)
        return ServerKind::MySql;
    return ServerKind::Other;
}

bool isLeftOutOfTableList(ServerKind kind, const QString &catalog, const QString &schema,
                          const QString &connectionCatalog)
{
    static const QStringList mySqlCatalogues = {QStringLiteral("mysql"), QStringLiteral("information_schema"),
                                                QStringLiteral("performance_schema"), QStringLiteral("sys")};
    switch (kind) {
    case ServerKind::PostgreSql:
        return schema.startsWith(QLatin1String("pg_")) || schema == QLatin1String("information_schema");
    case ServerKind::MySql:
        if (!connectionCatalog.isEmpty())
            return catalog != connectionCatalog;
        return mySqlCatalogues.contains(catalog, Qt::CaseInsensitive);
    case ServerKind::Other:
        break;
    }
    return false;
}

QString readOnlySessionStatement(ServerKind kind)
{
    switch (kind) {
    case ServerKind::PostgreSql:
        return QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
    case ServerKind::MySql:
        return QStringLiteral("SET SESSION TRANSACTION READ ONLY");
    case ServerKind::Other:
        break;
    }
    return {};
}

QString sessionTimeLimitStatement(const QString &dbmsName, std::chrono::seconds limit)
{
    if (dbmsName.compare(QLatin1String("MariaDB"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("SET SESSION max_statement_time = %1").arg(limit.count());
    if (dbmsName.compare(QLatin1String("MySQL"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("SET SESSION max_execution_time = %1").arg(limit.count() * 1000);
    return {};
}

QString fileWritingPrivilegeQuery(ServerKind kind)
{
    switch (kind) {
    case ServerKind::PostgreSql:
        // A superuser may do anything; the others need a role that writes
        // files (COPY ... TO), runs programs (COPY ... TO PROGRAM), or the
        // right to lo_export(), which no role has by default.
        return QStringLiteral(
            "SELECT CASE WHEN rolsuper THEN 'SUPERUSER'"
            " WHEN pg_has_role('pg_write_server_files', 'MEMBER') THEN 'pg_write_server_files'"
            " WHEN pg_has_role('pg_execute_server_program', 'MEMBER') THEN 'pg_execute_server_program'"
            " WHEN has_function_privilege('lo_export(oid, text)', 'EXECUTE') THEN 'EXECUTE ON lo_export'"
            " ELSE '' END FROM pg_roles WHERE rolname = current_user");
    case ServerKind::MySql:
        return QStringLiteral("SHOW GRANTS");
    case ServerKind::Other:
        break;
    }
    return {};
}

QString fileWritingPrivilegeIn(ServerKind kind, const QStringList &rows)
{
    switch (kind) {
    case ServerKind::PostgreSql:
        return rows.value(0);
    case ServerKind::MySql: {
        // FILE is a global privilege: "GRANT FILE, SELECT ON *.* TO ...", or
        // part of "GRANT ALL PRIVILEGES ON *.* TO ...".
        static const QRegularExpression globalGrant(QStringLiteral("^GRANT (.+) ON \\*\\.\\* TO "));
        for (const QString &row : rows) {
            const QRegularExpressionMatch grant = globalGrant.match(row);
            if (!grant.hasMatch())
                continue;
            const QStringList privileges = grant.captured(1).split(QStringLiteral(", "));
            if (privileges.contains(QLatin1String("FILE")) || privileges.contains(QLatin1String("ALL PRIVILEGES")))
                return QStringLiteral("FILE");
        }
        return {};
    }
    case ServerKind::Other:
        break;
    }
    return {};
}

} // namespace tramelo
