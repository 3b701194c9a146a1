#include "odbc_picker.h"

#include <QStringList>

namespace tramelo {

namespace {

// ODBC reads a value up to the next ";" unless it is enclosed in braces,
// inside which a "}" is written twice.
QString attributeValue(const QString &value)
{
    const bool needsBraces = value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('{'))
        || value.contains(QLatin1Char('}')) || value != value.trimmed();
    if (!needsBraces)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1String("}"), QLatin1String("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

} // namespace

QString odbcPickerConnectString(const OdbcSourceChoice &choice)
{
    QStringList parts;
    if (choice.kind == OdbcSourceChoice::Kind::DataSource)
        parts.append(QStringLiteral("DSN=") + attributeValue(choice.name));
    else
        parts.append(QStringLiteral("DRIVER={") + QString(choice.name).replace(QLatin1String("}"), QLatin1String("}}")) + QLatin1Char('}'));
    const QString attributes = choice.attributes.trimmed();
    if (!attributes.isEmpty())
        parts.append(attributes.endsWith(QLatin1Char(';')) ? attributes.chopped(1) : attributes);
    // An empty UID or PWD would override what the data source itself stores.
    if (!choice.user.isEmpty())
        parts.append(QStringLiteral("UID=") + attributeValue(choice.user));
    if (!choice.password.isEmpty())
        parts.append(QStringLiteral("PWD=") + attributeValue(choice.password));
    return odbcConnectPrefix + parts.join(QLatin1Char(';'));
}

} // namespace tramelo
