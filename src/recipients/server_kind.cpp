#include "server_kind.h"

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

} // namespace tramelo
