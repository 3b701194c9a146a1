#include "sqlite_access_rules.h"

#include <QSet>

#include <sqlite3.h>

namespace tramelo {
namespace {

// SQLite's own functions a recipient query may call; every other name is
// refused (load_extension, fts3_tokenizer, the shell's readfile, writefile
// and edit, and whatever a library in the process may have added).
const QSet<QByteArray> &allowedFunctions()
{
    static const QSet<QByteArray> names = {
        // scalar
        "abs", "char", "coalesce", "concat", "concat_ws", "format", "glob", "hex", "ifnull", "iif", "instr",
        "length", "like", "likelihood", "likely", "lower", "ltrim", "max", "min", "nullif", "octet_length",
        "printf", "quote", "random", "randomblob", "replace", "round", "rtrim", "sign", "soundex", "substr",
        "substring", "trim", "typeof", "unhex", "unicode", "unlikely", "upper", "zeroblob", "sqlite_version",
        // date and time
        "date", "time", "datetime", "julianday", "unixepoch", "strftime", "timediff", "current_date",
        "current_time", "current_timestamp",
        // mathematics
        "acos", "acosh", "asin", "asinh", "atan", "atan2", "atanh", "ceil", "ceiling", "cos", "cosh", "degrees",
        "exp", "floor", "ln", "log", "log10", "log2", "mod", "pi", "pow", "power", "radians", "sin", "sinh",
        "sqrt", "tan", "tanh", "trunc",
        // JSON values (the operators -> and ->> are functions too)
        "json", "json_array", "json_array_length", "json_extract", "json_insert", "json_object", "json_patch",
        "json_quote", "json_remove", "json_replace", "json_set", "json_type", "json_valid", "->", "->>",
        "json_group_array", "json_group_object",
        // aggregate
        "avg", "count", "group_concat", "string_agg", "sum", "total",
        // window
        "row_number", "rank", "dense_rank", "percent_rank", "cume_dist", "ntile", "lag", "lead",
        "first_value", "last_value", "nth_value",
    };
    return names;
}

QString refusedOperation(const QString &what)
{
    return refusedStatementBeginning + QStringLiteral("fa una operació no permesa: ") + what;
}

QString nameOf(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

std::optional<QString> sqliteAccessRefusal(int action, const char *detail1, const char *detail2)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_RECURSIVE:
        return std::nullopt;
    case SQLITE_FUNCTION:
        if (detail2 && allowedFunctions().contains(QByteArray(detail2).toLower()))
            return std::nullopt;
        return refusedStatementBeginning + QStringLiteral("fa servir una funció no permesa: ") + nameOf(detail2);
    case SQLITE_PRAGMA:
        return refusedOperation(QStringLiteral("PRAGMA ") + nameOf(detail1));
    case SQLITE_ATTACH:
        return refusedOperation(QStringLiteral("ATTACH"));
    case SQLITE_DETACH:
        return refusedOperation(QStringLiteral("DETACH"));
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
        // A virtual table (a table-valued function such as json_each or
        // pragma_table_info) is asked to write the schema when first used.
        if (qstrcmp(detail1, "sqlite_master") == 0)
            return refusedOperation(QStringLiteral("fer servir una taula virtual"));
        return refusedOperation(QStringLiteral("escriure a la taula ") + nameOf(detail1));
    case SQLITE_TRANSACTION:
        return refusedOperation(nameOf(detail1));
    default:
        return refusedOperation(QStringLiteral("acció %1 de SQLite").arg(action));
    }
}

} // namespace tramelo
