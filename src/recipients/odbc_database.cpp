#include "odbc_database.h"

#include "connection_strings.h"
#include "odbc_statement.h"

namespace tramelo {

std::unique_ptr<OdbcDatabase> OdbcDatabase::open(const QString &connectString, std::chrono::seconds queryTimeLimit,
                                                 QString &error)
{
    std::unique_ptr<OdbcDatabase> database(new OdbcDatabase);
    database->m_connection.setQueryTimeLimit(queryTimeLimit);
    // The campaign only reads its recipients.
    if (!database->m_connection.open(connectString, odbc::Connection::Access::ReadOnly, error))
        return nullptr;
    database->m_fileWritingPrivilege = database->askFileWritingPrivilege();
    return database;
}

ServerKind OdbcDatabase::serverKind() const
{
    return serverKindNamed(m_connection.dbmsName());
}

// A server that does not answer is taken to say nothing: the question only
// serves a warning.
QString OdbcDatabase::askFileWritingPrivilege()
{
    const ServerKind kind = serverKind();
    const QString query = fileWritingPrivilegeQuery(kind);
    if (query.isEmpty())
        return {};
    QString error;
    QStringList rows;
    if (const std::unique_ptr<odbc::Statement> answer = odbc::Statement::execute(m_connection, query, error)) {
        TextValue value;
        while (answer->fetch() == QueryRows::Fetch::Row && answer->read(0, value))
            rows.append(value.text);
    }
    m_connection.rollback();
    return fileWritingPrivilegeIn(kind, rows);
}

std::optional<QStringList> OdbcDatabase::tableNames(QString &error)
{
    // Columns of the SQLTables listing, counted from 0.
    constexpr int catalogColumn = 0;
    constexpr int schemaColumn = 1;
    constexpr int tableNameColumn = 2;
    constexpr int tableTypeColumn = 3;

    const std::unique_ptr<odbc::Statement> listing = odbc::Statement::tables(m_connection, error);
    if (!listing)
        return std::nullopt;
    const ServerKind kind = serverKind();
    // Asked of MySQL's drivers only, the one kind whose listing needs it.
    const QString connectionCatalog = kind == ServerKind::MySql ? m_connection.currentCatalog() : QString();
    QStringList names;
    TextValue catalog;
    TextValue schema;
    TextValue name;
    TextValue type;
    for (;;) {
        switch (listing->fetch()) {
        case QueryRows::Fetch::End:
            return names;
        case QueryRows::Fetch::Failed:
            error = listing->errorText();
            return std::nullopt;
        case QueryRows::Fetch::Row:
            break;
        }
        // Columns are read in their order, as some drivers require.
        if (!listing->read(catalogColumn, catalog) || !listing->read(schemaColumn, schema)
            || !listing->read(tableNameColumn, name) || !listing->read(tableTypeColumn, type)) {
            error = listing->errorText();
            return std::nullopt;
        }
        // A copy of the text alone, not of the read buffer around it.
        if (isListedTable(type.text, name.text)
            && !isLeftOutOfTableList(kind, catalog.text, schema.text, connectionCatalog))
            names.append(QStringView(name.text).toString());
    }
}

std::unique_ptr<QueryRows> OdbcDatabase::execute(const QString &query, QString &error)
{
    return odbc::Statement::execute(m_connection, query, error);
}

} // namespace tramelo
