#include "settings_store.h"

#include "plain_text.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <limits>

namespace tramelo::settings_store {
namespace {

const QString organisation = QStringLiteral("Quorvix");
const QString application = QStringLiteral("Quorvix");
const QString group = QStringLiteral("Settings");

} // namespace

QString fileName()
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, organisation, application);
    return store.fileName();
}

QString read(const QString &key, const QString &defaultValue)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, organisation, application);
    if (store.status() != QSettings::NoError)
        return defaultValue;
    store.beginGroup(group);
    const QVariant value = store.value(key);
    if (!value.isValid())
        return defaultValue;
    // A hand-edited file may hold an unquoted list ("a, b").
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

void write(const QString &key, const QString &value)
{
    // QSettings never throws: a failure stays in its status, ignored here.
    QSettings store(QSettings::IniFormat, QSettings::UserScope, organisation, application);
    store.beginGroup(group);
    store.setValue(key, value);
    store.endGroup();
    store.sync();
}

QString numberText(long long value)
{
    if (value < 0)
        return QString::number(value);
    return QLatin1Char(' ') + QString::number(value);
}

QString booleanText(bool value)
{
    return value ? QStringLiteral("-1") : QStringLiteral("0");
}

std::optional<long> parseWholeNumber(const QString &text)
{
    const std::optional<long long> value = readWholeNumber(text);
    if (!value || *value < std::numeric_limits<qint32>::min() || *value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return long(*value);
}

std::optional<bool> parseBoolean(const QString &text)
{
    const QString trimmed = trimBlanks(text);
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const std::optional<long> number = parseWholeNumber(trimmed))
        return *number != 0;
    return std::nullopt;
}

long readNumber(const QString &key, long defaultValue)
{
    return parseWholeNumber(read(key, numberText(defaultValue))).value_or(defaultValue);
}

bool readBoolean(const QString &key, bool defaultValue)
{
    return parseBoolean(read(key, defaultValue ? QStringLiteral("True") : QStringLiteral("False")))
        .value_or(defaultValue);
}

} // namespace tramelo::settings_store
