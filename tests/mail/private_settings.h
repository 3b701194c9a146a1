#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace tramelo::test {

// Points XDG_CONFIG_HOME at a fresh temporary folder for the whole test
// program. QSettings reads that variable once, when the first QSettings of
// the process is made, so this runs before main (a static object below) and
// every test that touches the store calls it again to make sure. No test
// ever reaches the user's real settings.
inline QString privateConfigHome()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/tramelo-settings-XXXXXX"));
    static const bool pointed = [] {
        if (!folder.isValid())
            std::abort();
        return qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()));
    }();
    (void)pointed;
    return folder.path();
}

inline const QString privateConfigHomeAtStart = privateConfigHome();

// The component's store, seen directly (organisation and application
// "Quorvix", INI format, the user scope).
inline std::unique_ptr<QSettings> openMailStore()
{
    privateConfigHome();
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quorvix"),
                                       QStringLiteral("Quorvix"));
}

// Empties the store between tests.
inline void clearMailStore()
{
    const std::unique_ptr<QSettings> store = openMailStore();
    store->clear();
    store->sync();
}

} // namespace tramelo::test
